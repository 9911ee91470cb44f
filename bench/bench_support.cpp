#include "bench/bench_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMessageBox>
#include <QMetaObject>
#include <QPushButton>
#include <QSettings>

void WidgetTestAccess::invoke(Widget &w, const char *slot) {
    if (!QMetaObject::invokeMethod(&w, slot, Qt::DirectConnection)) {
        qFatal("no slot %s", slot);
    }
}

ScopedWorkDir::ScopedWorkDir() : previous(QDir::currentPath()) {
    if (!dir.isValid() || !QDir::setCurrent(dir.path())) {
        qFatal("cannot enter a temporary working directory");
    }
}

ScopedWorkDir::~ScopedWorkDir() {
    QDir::setCurrent(previous);
}

void ScopedWorkDir::writeConfig(const QString &portName) {
    QDir().mkpath(QStringLiteral("Ini"));
    QSettings settings(dir.path() + QStringLiteral("/Ini/Config.ini"), QSettings::IniFormat);
    settings.setValue(QStringLiteral("System/ProgramName"), QStringLiteral("ZRxxx bench"));
    settings.setValue(QStringLiteral("System/PortName"), portName);
}

ModalWatcher::ModalWatcher(QObject *parent) : QObject(parent) {
    connect(&timer, &QTimer::timeout, this, &ModalWatcher::poll);
    timer.start(5);
}

void ModalWatcher::poll() {
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) {
        return;
    }
    const SeenModal entry{QString::fromLatin1(modal->metaObject()->className()), modal->windowTitle()};
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        seen.append(entry);
        QAbstractButton *button = box->defaultButton();
        if (!button && !box->buttons().isEmpty()) {
            button = box->buttons().first();
        }
        if (button) {
            button->click();
        } else {
            box->close();
        }
    } else if (auto *dialog = qobject_cast<QDialog *>(modal)) {
        seen.append(entry);
        if (dialogHandler) {
            dialogHandler(dialog);
        }
        if (dialog->isVisible()) {
            dialog->reject();
        }
    } else {
        return;
    }
    emit modalClosed();
}

bool ModalWatcher::waitForCount(int n, int ms) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (seen.size() < n && elapsed.elapsed() < ms) {
        QEventLoop loop;
        QTimer::singleShot(qMax<qint64>(1, ms - elapsed.elapsed()), &loop, &QEventLoop::quit);
        connect(this, &ModalWatcher::modalClosed, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return seen.size() >= n;
}

std::function<void(QDialog *)> chooseInDialog(const QString &port, const QString &baud) {
    return [port, baud](QDialog *dialog) {
        auto *name = dialog->findChild<QComboBox *>(QStringLiteral("comboBoxName"));
        auto *rate = dialog->findChild<QComboBox *>(QStringLiteral("comboBoxBaud"));
        auto *ok = dialog->findChild<QPushButton *>(QStringLiteral("pushButtonOK"));
        if (!name || !rate || !ok) {
            return;
        }
        name->setCurrentIndex(name->findText(port));
        rate->setCurrentIndex(rate->findText(baud));
        ok->click();
    };
}

QStringList loggedFrames(const QString &path, int kind) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QString marker = kind == 0 ? QStringLiteral("->TX  ") : QStringLiteral("->RX  ");
    QStringList frames;
    for (const QString &line : QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'))) {
        const int at = line.indexOf(marker);
        if (at >= 0) {
            frames << line.mid(at + marker.size());
        }
    }
    return frames;
}
