// Checks the main window and settings dialog forms (object tree, layout cells, properties, texts,
// items), the window's start state, the slot table of the window and the Chinese catalogue.

#include "tests/support/harness.h"

#include "gui/serialport_setting_dialog.h"
#include "ui_serialport_setting_dialog.h"
#include "ui_widget.h"

#include <QAbstractButton>
#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTimeEdit>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMetaMethod>
#include <QPushButton>
#include <QSpacerItem>
#include <QTest>
#include <QTextBrowser>
#include <QTimeEdit>
#include <QTranslator>

#include <memory>

namespace {

// Where one widget, layout or spacer sits: the layout holding it, and its grid cell or its
// 1-based position in a box layout (column -1 then).
struct Placement {
    QLayout *layout = nullptr;
    int row = -1;
    int column = -1;
    int rowSpan = 0;
    int columnSpan = 0;
};

Placement placementOf(QLayout *layout, const std::function<bool(QLayoutItem *)> &match) {
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem *item = layout->itemAt(i);
        if (match(item)) {
            Placement p;
            p.layout = layout;
            if (auto *grid = qobject_cast<QGridLayout *>(layout)) {
                grid->getItemPosition(i, &p.row, &p.column, &p.rowSpan, &p.columnSpan);
            } else {
                p.row = i + 1;
                p.rowSpan = 1;
                p.columnSpan = 1;
            }
            return p;
        }
        if (QLayout *inner = item->layout()) {
            Placement p = placementOf(inner, match);
            if (p.layout) {
                return p;
            }
        }
        if (QWidget *w = item->widget()) {
            if (w->layout()) {
                Placement p = placementOf(w->layout(), match);
                if (p.layout) {
                    return p;
                }
            }
        }
    }
    return Placement();
}

// Every layout item reachable from `layout`, descending into nested layouts and into the
// layouts of the widgets placed in it.
void collectItems(QLayout *layout, QList<QWidget *> &widgets, QList<QLayout *> &layouts,
                  QList<QSpacerItem *> &spacers) {
    layouts.append(layout);
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem *item = layout->itemAt(i);
        if (QSpacerItem *spacer = item->spacerItem()) {
            spacers.append(spacer);
        } else if (QLayout *inner = item->layout()) {
            collectItems(inner, widgets, layouts, spacers);
        } else if (QWidget *w = item->widget()) {
            widgets.append(w);
            if (w->layout()) {
                collectItems(w->layout(), widgets, layouts, spacers);
            }
        }
    }
}

// The names of the items of one layout in the order they were added; spacers read "spacer".
QStringList itemNames(QLayout *layout) {
    QStringList names;
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem *item = layout->itemAt(i);
        if (item->spacerItem()) {
            names << QStringLiteral("spacer");
        } else if (item->layout()) {
            names << item->layout()->objectName();
        } else if (item->widget()) {
            names << item->widget()->objectName();
        }
    }
    return names;
}

QStringList comboItems(const QComboBox *combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) {
        items << combo->itemText(i);
    }
    return items;
}

QString textOf(QObject *object, const QByteArray &property) {
    return object->property(property).toString();
}

// Rows of the placement tables: object, class, parent, layout, cell or box position.
void addPlacementColumns() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QString>("layoutName");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("rowSpan");
    QTest::addColumn<int>("columnSpan");
}

void cell(const char *name, const char *cls, const char *parent, const char *layout, int row, int column,
          int rowSpan = 1, int columnSpan = 1) {
    QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(cls)
                        << QString::fromLatin1(parent) << QString::fromLatin1(layout) << row << column
                        << rowSpan << columnSpan;
}

void boxItem(const char *name, const char *cls, const char *parent, const char *layout, int position) {
    cell(name, cls, parent, layout, position, -1);
}

// Checks one row of a placement table against a form built on `top`: what differs, or an empty
// text when the row holds.
QString placementProblem(QWidget *top) {
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, parentName);
    QFETCH(QString, layoutName);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(int, rowSpan);
    QFETCH(int, columnSpan);
    const auto differs = [&name](const char *what, const QVariant &actual, const QVariant &expected) {
        return actual == expected
                   ? QString()
                   : QStringLiteral("%1: %2 is %3, expected %4")
                         .arg(name, QLatin1String(what), actual.toString(), expected.toString());
    };

    QObject *object = nullptr;
    if (QWidget *w = top->findChild<QWidget *>(name)) {
        object = w;
    } else {
        object = top->findChild<QLayout *>(name);
    }
    if (!object) {
        return name + QStringLiteral(" is not in the form");
    }
    QString problem = differs("class", QString::fromLatin1(object->metaObject()->className()), className);
    if (!problem.isEmpty()) {
        return problem;
    }

    auto *widget = qobject_cast<QWidget *>(object);
    auto *layout = qobject_cast<QLayout *>(object);
    if (widget) {
        if (!widget->parentWidget()) {
            return name + QStringLiteral(" has no parent widget");
        }
        problem = differs("parent", widget->parentWidget()->objectName(), parentName);
        if (!problem.isEmpty()) {
            return problem;
        }
    } else if (parentName.isEmpty()) {
        // A nested layout: created without parent, owned by the layout it was added to.
        if ((layout->parentWidget() && layout->parentWidget()->layout() == layout) ||
            !qobject_cast<QLayout *>(layout->parent())) {
            return name + QStringLiteral(" is not nested in a layout");
        }
    } else {
        // The layout installed on a widget.
        if (!layout->parentWidget() || layout->parentWidget()->layout() != layout) {
            return name + QStringLiteral(" is not the layout of a widget");
        }
        problem = differs("parent", layout->parentWidget()->objectName(), parentName);
        return problem.isEmpty() ? differs("layout", layoutName, QStringLiteral("-")) : problem;
    }

    const Placement p = placementOf(top->layout(), [&](QLayoutItem *item) {
        return (widget && item->widget() == widget) || (layout && item->layout() == layout);
    });
    if (!p.layout) {
        return name + QStringLiteral(" is in no layout");
    }
    problem = differs("layout", p.layout->objectName(), layoutName);
    if (!problem.isEmpty()) {
        return problem;
    }
    if (column < 0) {
        if (!qobject_cast<QBoxLayout *>(p.layout)) {
            return name + QStringLiteral(": expected a box layout");
        }
        return differs("row", p.row, row);
    }
    if (!qobject_cast<QGridLayout *>(p.layout)) {
        return name + QStringLiteral(": expected a grid layout");
    }
    for (const QString &d :
         {differs("row", p.row, row), differs("column", p.column, column),
          differs("row span", p.rowSpan, rowSpan), differs("column span", p.columnSpan, columnSpan)}) {
        if (!d.isEmpty()) {
            return d;
        }
    }
    return QString();
}

// Removes an installed translator again however the test function ends.
struct InstalledTranslator {
    QTranslator translator;
    bool installed = false;
    ~InstalledTranslator() {
        if (installed) {
            QCoreApplication::removeTranslator(&translator);
        }
    }
};

const char *const kSettingButtons[] = {"pushButtonAddress",  "pushButtonTempRange",  "pushButtonOutputData",
                                       "pushButtonBaudRate", "pushButtonDeviceTime", "pushButtonHeaterTime"};
const char *const kReadButtons[] = {"pushButtonReadSN", "pushButtonAddressRead", "pushButtonReadInfo",
                                    "pushButtonRead"};
const char *const kClockRow[] = {"labelDeviceTime",      "dateTimeEditDeviceTime", "checkBoxSystemTime",
                                 "pushButtonDeviceTime", "labelStartTime",         "timeEditStartTime",
                                 "labelInterval",        "comboBoxInterval",       "labelHeaterTime",
                                 "comboBoxHeaterTime",   "pushButtonHeaterTime"};

} // namespace

class TestForm : public QObject {
    Q_OBJECT

private slots:
    void windowPlacement_data();
    void windowPlacement();
    void windowLayoutOrder_data();
    void windowLayoutOrder();
    void windowCounts();
    void windowProperties();
    void windowKeepsGivenObjectName();
    void windowTexts_data();
    void windowTexts();
    void windowItems_data();
    void windowItems();
    void windowStateAfterSetup();

    void startState();
    void startStateLists();
    void ownDisabledWidgetsStayDisabledWithTheirGroup();
    void slotOrder();

    void dialogPlacement_data();
    void dialogPlacement();
    void dialogForm();
    void dialogItems_data();
    void dialogItems();

    void chineseCatalogue();
    void chineseCatalogueCoversRunTimeTexts_data();
    void chineseCatalogueCoversRunTimeTexts();
    void chineseStartState();
};

void TestForm::windowPlacement_data() {
    addPlacementColumns();
    const char *D = "groupBoxDevice";
    const char *R = "groupBoxRTD";
    cell("gridLayout_4", "QGridLayout", "Widget", "-", 0, 0);
    cell("groupBoxDevice", "QGroupBox", "Widget", "gridLayout_4", 0, 0);
    cell("gridLayout", "QGridLayout", D, "-", 0, 0);
    cell("horizontalLayout_3", "QHBoxLayout", "", "gridLayout", 0, 0);
    boxItem("label_2", "QLabel", D, "horizontalLayout_3", 1);
    boxItem("comboBoxType", "QComboBox", D, "horizontalLayout_3", 2);
    boxItem("labelVersions", "QLabel", D, "horizontalLayout_3", 3);
    cell("gridLayout_5", "QGridLayout", "", "gridLayout", 1, 0, 1, 2);
    cell("label_3", "QLabel", D, "gridLayout_5", 0, 0);
    cell("pushButtonAddress", "QPushButton", D, "gridLayout_5", 1, 2);
    cell("lineEditSN", "QLineEdit", D, "gridLayout_5", 0, 1);
    cell("comboBoxChannel", "QComboBox", D, "gridLayout_5", 1, 7);
    cell("pushButtonHeaterOFF", "QPushButton", D, "gridLayout_5", 2, 3);
    cell("pushButtonTempRange", "QPushButton", D, "gridLayout_5", 0, 9);
    cell("pushButtonOutputData", "QPushButton", D, "gridLayout_5", 1, 9);
    cell("lineEditAddress", "QLineEdit", D, "gridLayout_5", 1, 1);
    cell("label_7", "QLabel", D, "gridLayout_5", 0, 6);
    cell("comboBoxOutputData", "QComboBox", D, "gridLayout_5", 1, 8);
    cell("pushButtonReadSN", "QPushButton", D, "gridLayout_5", 0, 2);
    cell("pushButtonBaudRate", "QPushButton", D, "gridLayout_5", 2, 9);
    cell("comboBoxBaudRate", "QComboBox", D, "gridLayout_5", 2, 8);
    cell("pushButtonMANU", "QPushButton", D, "gridLayout_5", 0, 3);
    cell("pushButtonAddressRead", "QPushButton", D, "gridLayout_5", 1, 3);
    cell("lineEditRangeMax", "QLineEdit", D, "gridLayout_5", 0, 8);
    cell("pushButtonHeaterON", "QPushButton", D, "gridLayout_5", 2, 2);
    cell("labelChannel", "QLabel", D, "gridLayout_5", 1, 6);
    cell("label_5", "QLabel", D, "gridLayout_5", 2, 7);
    cell("label_4", "QLabel", D, "gridLayout_5", 1, 0);
    cell("lineEditRangeMin", "QLineEdit", D, "gridLayout_5", 0, 7);
    cell("pushButtonAUTO", "QPushButton", D, "gridLayout_5", 0, 4);
    cell("label_8", "QLabel", D, "gridLayout_5", 2, 1);
    cell("horizontalLayout_4", "QHBoxLayout", "", "gridLayout", 2, 0, 1, 2);
    boxItem("labelDeviceTime", "QLabel", D, "horizontalLayout_4", 1);
    boxItem("dateTimeEditDeviceTime", "QDateTimeEdit", D, "horizontalLayout_4", 2);
    boxItem("checkBoxSystemTime", "QCheckBox", D, "horizontalLayout_4", 3);
    boxItem("pushButtonDeviceTime", "QPushButton", D, "horizontalLayout_4", 4);
    boxItem("labelStartTime", "QLabel", D, "horizontalLayout_4", 6);
    boxItem("timeEditStartTime", "QTimeEdit", D, "horizontalLayout_4", 7);
    boxItem("labelInterval", "QLabel", D, "horizontalLayout_4", 8);
    boxItem("comboBoxInterval", "QComboBox", D, "horizontalLayout_4", 9);
    boxItem("labelHeaterTime", "QLabel", D, "horizontalLayout_4", 10);
    boxItem("comboBoxHeaterTime", "QComboBox", D, "horizontalLayout_4", 11);
    boxItem("pushButtonHeaterTime", "QPushButton", D, "horizontalLayout_4", 12);
    cell("horizontalLayout_6", "QHBoxLayout", "", "gridLayout", 3, 0, 1, 2);
    boxItem("pushButtonReadInfo", "QPushButton", D, "horizontalLayout_6", 2);
    cell("groupBoxRTD", "QGroupBox", "Widget", "gridLayout_4", 1, 0);
    cell("gridLayout_2", "QGridLayout", R, "-", 0, 0);
    cell("horizontalLayout_2", "QHBoxLayout", "", "gridLayout_2", 0, 0);
    boxItem("labelTemperature", "QLabel", R, "horizontalLayout_2", 1);
    boxItem("labelHumidity", "QLabel", R, "horizontalLayout_2", 3);
    boxItem("labelDewTemp", "QLabel", R, "horizontalLayout_2", 5);
    boxItem("labelWetBulbTemp", "QLabel", R, "horizontalLayout_2", 7);
    cell("horizontalLayout", "QHBoxLayout", "", "gridLayout_2", 1, 0);
    boxItem("label", "QLabel", R, "horizontalLayout", 2);
    boxItem("comboBoxRegister", "QComboBox", R, "horizontalLayout", 3);
    boxItem("comboBoxNum", "QComboBox", R, "horizontalLayout", 5);
    boxItem("pushButtonRead", "QPushButton", R, "horizontalLayout", 7);
    boxItem("pushButtonTrend", "QPushButton", R, "horizontalLayout", 10);
    cell("groupBoxMessage", "QGroupBox", "Widget", "gridLayout_4", 2, 0);
    cell("gridLayout_3", "QGridLayout", "groupBoxMessage", "-", 0, 0);
    cell("textBrowser", "QTextBrowser", "groupBoxMessage", "gridLayout_3", 0, 0);
    cell("horizontalLayout_5", "QHBoxLayout", "", "gridLayout_4", 3, 0);
    boxItem("pushButtonLink", "QPushButton", "Widget", "horizontalLayout_5", 2);
    boxItem("pushButtonClose", "QPushButton", "Widget", "horizontalLayout_5", 3);
}

void TestForm::windowPlacement() {
    WidgetUi ui;
    QWidget window;
    ui.setupUi(&window);
    const QString problem = placementProblem(&window);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void TestForm::windowLayoutOrder_data() {
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QStringList>("items");
    const QString s = QStringLiteral("spacer");
    QTest::newRow("gridLayout_4") << "gridLayout_4"
                                  << QStringList{"groupBoxDevice", "groupBoxRTD", "groupBoxMessage",
                                                 "horizontalLayout_5"};
    QTest::newRow("gridLayout") << "gridLayout"
                                << QStringList{"horizontalLayout_3", "gridLayout_5", "horizontalLayout_4",
                                               "horizontalLayout_6"};
    QTest::newRow("horizontalLayout_3")
        << "horizontalLayout_3" << QStringList{"label_2", "comboBoxType", "labelVersions", s};
    QTest::newRow("gridLayout_5") << "gridLayout_5"
                                  << QStringList{"label_3",
                                                 "pushButtonAddress",
                                                 "lineEditSN",
                                                 "comboBoxChannel",
                                                 "pushButtonHeaterOFF",
                                                 "pushButtonTempRange",
                                                 "pushButtonOutputData",
                                                 s,
                                                 s,
                                                 "lineEditAddress",
                                                 "label_7",
                                                 "comboBoxOutputData",
                                                 "pushButtonReadSN",
                                                 "pushButtonBaudRate",
                                                 "comboBoxBaudRate",
                                                 "pushButtonMANU",
                                                 "pushButtonAddressRead",
                                                 "lineEditRangeMax",
                                                 "pushButtonHeaterON",
                                                 "labelChannel",
                                                 "label_5",
                                                 "label_4",
                                                 "lineEditRangeMin",
                                                 s,
                                                 "pushButtonAUTO",
                                                 "label_8"};
    QTest::newRow("horizontalLayout_4") << "horizontalLayout_4"
                                        << QStringList{"labelDeviceTime",
                                                       "dateTimeEditDeviceTime",
                                                       "checkBoxSystemTime",
                                                       "pushButtonDeviceTime",
                                                       s,
                                                       "labelStartTime",
                                                       "timeEditStartTime",
                                                       "labelInterval",
                                                       "comboBoxInterval",
                                                       "labelHeaterTime",
                                                       "comboBoxHeaterTime",
                                                       "pushButtonHeaterTime",
                                                       s};
    QTest::newRow("horizontalLayout_6") << "horizontalLayout_6" << QStringList{s, "pushButtonReadInfo", s};
    QTest::newRow("gridLayout_2") << "gridLayout_2" << QStringList{"horizontalLayout_2", "horizontalLayout"};
    QTest::newRow("horizontalLayout_2")
        << "horizontalLayout_2"
        << QStringList{"labelTemperature", s, "labelHumidity", s, "labelDewTemp", s, "labelWetBulbTemp"};
    QTest::newRow("horizontalLayout")
        << "horizontalLayout"
        << QStringList{s, "label", "comboBoxRegister", s, "comboBoxNum", s, "pushButtonRead",
                       s, s,       "pushButtonTrend"};
    QTest::newRow("gridLayout_3") << "gridLayout_3" << QStringList{"textBrowser"};
    QTest::newRow("horizontalLayout_5")
        << "horizontalLayout_5" << QStringList{s, "pushButtonLink", "pushButtonClose", s};
}

void TestForm::windowLayoutOrder() {
    QFETCH(QString, layout);
    QFETCH(QStringList, items);
    WidgetUi ui;
    QWidget window;
    ui.setupUi(&window);
    auto *l = window.findChild<QLayout *>(layout);
    QVERIFY(l);
    QCOMPARE(itemNames(l), items);
}

void TestForm::windowCounts() {
    WidgetUi ui;
    QWidget window;
    ui.setupUi(&window);
    QList<QWidget *> widgets;
    QList<QLayout *> layouts;
    QList<QSpacerItem *> spacers;
    QVERIFY(window.layout());
    collectItems(window.layout(), widgets, layouts, spacers);

    QCOMPARE(widgets.size(), 53);
    QCOMPARE(layouts.size(), 11);
    QCOMPARE(spacers.size(), 18);

    QMap<QString, int> byClass;
    for (QWidget *w : widgets) {
        ++byClass[QString::fromLatin1(w->metaObject()->className())];
        QVERIFY2(!w->objectName().isEmpty(), w->metaObject()->className());
    }
    const QMap<QString, int> expected{{"QGroupBox", 3}, {"QLabel", 17},   {"QPushButton", 17},
                                      {"QComboBox", 8}, {"QLineEdit", 4}, {"QDateTimeEdit", 1},
                                      {"QTimeEdit", 1}, {"QCheckBox", 1}, {"QTextBrowser", 1}};
    QCOMPARE(byClass, expected);

    int grids = 0;
    int boxes = 0;
    for (QLayout *l : layouts) {
        grids += qobject_cast<QGridLayout *>(l) ? 1 : 0;
        boxes += QString::fromLatin1(l->metaObject()->className()) == QLatin1String("QHBoxLayout") ? 1 : 0;
    }
    QCOMPARE(grids, 5);
    QCOMPARE(boxes, 6);

    for (QSpacerItem *spacer : spacers) {
        QCOMPARE(spacer->sizeHint(), QSize(40, 20));
        QCOMPARE(spacer->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
        QCOMPARE(spacer->sizePolicy().verticalPolicy(), QSizePolicy::Minimum);
    }

    // The form object points at the very widgets of the window.
    QCOMPARE(ui.pushButtonLink->parentWidget(), &window);
    QCOMPARE(ui.pushButtonClose->parentWidget(), &window);
    QCOMPARE(ui.comboBoxBaudRate, window.findChild<QComboBox *>(QStringLiteral("comboBoxBaudRate")));
}

void TestForm::windowProperties() {
    WidgetUi ui;
    QWidget window;
    ui.setupUi(&window);
    QCOMPARE(window.objectName(), QStringLiteral("Widget"));
    QCOMPARE(window.size(), QSize(1112, 620));
    QCOMPARE(window.minimumSize(), QSize(0, 0));
    QCOMPARE(window.maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    QCOMPARE(window.font().family(), QStringLiteral("Arial"));
    QCOMPARE(window.font().pointSize(), 9);

    QList<QWidget *> widgets;
    QList<QLayout *> layouts;
    QList<QSpacerItem *> spacers;
    collectItems(window.layout(), widgets, layouts, spacers);
    for (QWidget *w : widgets) {
        // Every widget inherits the window's font and sets no size limit or style of its own,
        // except the message group and its pane, whose maximum is the largest widget size.
        QVERIFY2(!w->testAttribute(Qt::WA_SetFont), qPrintable(w->objectName()));
        QVERIFY2(w->styleSheet().isEmpty(), qPrintable(w->objectName()));
        QVERIFY2(w->toolTip().isEmpty(), qPrintable(w->objectName()));
        QCOMPARE(w->font().pointSize(), 9);
        QCOMPARE(w->minimumSize(), QSize(0, 0));
        QVERIFY(w->isEnabled());
        QVERIFY(!w->isHidden());
    }
    QCOMPARE(ui.groupBoxMessage->maximumSize(), QSize(16777215, 16777215));
    QCOMPARE(ui.textBrowser->maximumSize(), QSize(16777215, 16777215));

    const Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;
    for (QLabel *label : {ui.label_3, ui.label_4, ui.label_7, ui.labelChannel, ui.label_5, ui.label_8}) {
        QCOMPARE(label->alignment(), right);
    }
    for (QLineEdit *edit : {ui.lineEditSN, ui.lineEditAddress, ui.lineEditRangeMin, ui.lineEditRangeMax}) {
        QCOMPARE(edit->alignment(), Qt::Alignment(Qt::AlignCenter));
        QVERIFY(!edit->isReadOnly());
        QVERIFY(edit->inputMask().isEmpty());
        QVERIFY(!edit->validator());
        QCOMPARE(edit->maxLength(), 32767);
        QVERIFY(edit->text().isEmpty());
    }
    for (QComboBox *combo : window.findChildren<QComboBox *>()) {
        QVERIFY2(!combo->isEditable(), qPrintable(combo->objectName()));
    }
    QVERIFY(ui.textBrowser->toPlainText().isEmpty());
}

void TestForm::windowKeepsGivenObjectName() {
    WidgetUi ui;
    QWidget window;
    window.setObjectName(QStringLiteral("mainWindow"));
    ui.setupUi(&window);
    QCOMPARE(window.objectName(), QStringLiteral("mainWindow"));
    QCOMPARE(ui.groupBoxDevice->parentWidget(), &window);
}

void TestForm::windowTexts_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QString>("text");
    auto row = [](const char *name, const char *property, const QString &text) {
        QTest::newRow(name) << QString::fromLatin1(name) << QByteArray(property) << text;
    };
    row("Widget", "windowTitle", "Widget");
    row("groupBoxDevice", "title", "Device");
    row("label_2", "text", "Type:");
    row("labelVersions", "text", "Versions:");
    row("label_3", "text", "Serial number:");
    row("pushButtonAddress", "text", "Setting");
    row("pushButtonHeaterOFF", "text", "OFF");
    row("pushButtonTempRange", "text", "Setting");
    row("pushButtonOutputData", "text", "Setting");
    row("label_7", "text", QStringLiteral("Temperature Out Range(") + QChar(0x2103) + QStringLiteral("):"));
    row("pushButtonReadSN", "text", "Read");
    row("pushButtonBaudRate", "text", "Setting");
    row("pushButtonMANU", "text", "MANU Setup");
    row("pushButtonAddressRead", "text", "Read");
    row("pushButtonHeaterON", "text", "ON");
    row("labelChannel", "text", "Channel:");
    row("label_5", "text", "Baud rate:");
    row("label_4", "text", "Address:");
    row("pushButtonAUTO", "text", "AUTO Setup");
    row("label_8", "text", "Heater:");
    row("labelDeviceTime", "text", "Device time:");
    row("checkBoxSystemTime", "text", "Using system time");
    row("pushButtonDeviceTime", "text", "Setting");
    row("labelStartTime", "text", "Auto heater start time:");
    row("labelInterval", "text", "Interval:");
    row("labelHeaterTime", "text", "Heater time:");
    row("pushButtonHeaterTime", "text", "Setting");
    row("pushButtonReadInfo", "text", "Read");
    row("groupBoxRTD", "title", "Real time data");
    row("labelTemperature", "text", "Temperature:");
    row("labelHumidity", "text", "Humidity:");
    row("labelDewTemp", "text", "DewTemp:");
    row("labelWetBulbTemp", "text", "WetBulbTemp:");
    row("label", "text", "Magnification:");
    row("pushButtonRead", "text", "Read");
    row("pushButtonTrend", "text", "Trend");
    row("groupBoxMessage", "title", "Message");
    row("pushButtonLink", "text", "Link");
    row("pushButtonClose", "text", "Close");
}

void TestForm::windowTexts() {
    QFETCH(QString, name);
    QFETCH(QByteArray, property);
    QFETCH(QString, text);
    WidgetUi ui;
    QWidget window;
    ui.setupUi(&window);
    QObject *object = name == QLatin1String("Widget") ? &window : window.findChild<QObject *>(name);
    QVERIFY(object);
    QCOMPARE(textOf(object, property), text);
}

void TestForm::windowItems_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("items");
    QTest::newRow("comboBoxOutputData")
        << "comboBoxOutputData" << QStringList{"Temperature", "Humidity", "TDEW"};
    QTest::newRow("comboBoxBaudRate")
        << "comboBoxBaudRate" << QStringList{"1200", "2400", "4800", "9600", "19200", "115200"};
    QTest::newRow("comboBoxRegister") << "comboBoxRegister" << QStringList{"*10", "*100"};
    QTest::newRow("comboBoxNum") << "comboBoxNum"
                                 << QStringList{"ALL", "Temperature", "Humidity", "DewTemp", "Status"};
    QTest::newRow("comboBoxType") << "comboBoxType" << QStringList();
    QTest::newRow("comboBoxChannel") << "comboBoxChannel" << QStringList();
    QTest::newRow("comboBoxInterval") << "comboBoxInterval" << QStringList();
    QTest::newRow("comboBoxHeaterTime") << "comboBoxHeaterTime" << QStringList();
}

void TestForm::windowItems() {
    QFETCH(QString, name);
    QFETCH(QStringList, items);
    WidgetUi ui;
    QWidget window;
    ui.setupUi(&window);
    auto *combo = window.findChild<QComboBox *>(name);
    QVERIFY(combo);
    QCOMPARE(comboItems(combo), items);
    for (int i = 0; i < combo->count(); ++i) {
        QVERIFY(!combo->itemData(i).isValid());
    }
    QCOMPARE(combo->currentIndex(), items.isEmpty() ? -1 : 0);
}

void TestForm::windowStateAfterSetup() {
    WidgetUi ui;
    QWidget window;
    ui.setupUi(&window);
    QCOMPARE(ui.comboBoxBaudRate->currentIndex(), 0);
    QCOMPARE(ui.comboBoxBaudRate->currentText(), QStringLiteral("1200"));
    QCOMPARE(ui.labelVersions->text(), QStringLiteral("Versions:"));
    QVERIFY(!ui.checkBoxSystemTime->isChecked());
    QVERIFY(!ui.groupBoxDevice->isHidden());
    QVERIFY(!ui.labelWetBulbTemp->isHidden());
    QVERIFY(!ui.pushButtonAUTO->isHidden());
    QVERIFY(ui.groupBoxDevice->isEnabled());

    // Disabling the three groups leaves exactly the two buttons of the bottom row usable.
    ui.groupBoxDevice->setEnabled(false);
    ui.groupBoxRTD->setEnabled(false);
    ui.groupBoxMessage->setEnabled(false);
    QList<QWidget *> widgets;
    QList<QLayout *> layouts;
    QList<QSpacerItem *> spacers;
    collectItems(window.layout(), widgets, layouts, spacers);
    QStringList usable;
    for (QWidget *w : widgets) {
        if (w->isEnabled()) {
            usable << w->objectName();
        }
    }
    QCOMPARE(usable, (QStringList{"pushButtonLink", "pushButtonClose"}));
}

void TestForm::startState() {
    ScopedWorkDir dir;
    ModalWatcher watcher;
    Widget w;
    WidgetUi *ui = WidgetTestAccess::ui(w);
    QVERIFY(ui);

    QVERIFY(!ui->groupBoxDevice->isEnabled());
    QVERIFY(!ui->groupBoxRTD->isEnabled());
    QVERIFY(!ui->groupBoxMessage->isEnabled());
    QVERIFY(ui->pushButtonLink->isEnabled());
    QVERIFY(ui->pushButtonClose->isEnabled());

    QCOMPARE(comboItems(ui->comboBoxType),
             (QStringList{"ZR100", "ZR200", "ZR300", "ZR200Pro", "ZR200Mini_S", "ZR200Mini_M"}));
    QCOMPARE(ui->comboBoxType->currentIndex(), 0);
    QCOMPARE(ui->comboBoxType->currentText(), QStringLiteral("ZR100"));
    QVERIFY(ui->labelVersions->text().isEmpty());
    QCOMPARE(comboItems(ui->comboBoxChannel), QStringList{"1"});
    QCOMPARE(ui->comboBoxBaudRate->currentIndex(), 3);
    QCOMPARE(ui->comboBoxBaudRate->currentText(), QStringLiteral("9600"));
    QCOMPARE(ui->comboBoxBaudRate->count(), 6);

    // Hidden by their own call (isHidden), not merely invisible because the window is not shown.
    QVERIFY(ui->labelWetBulbTemp->isHidden());
    QVERIFY(ui->pushButtonAUTO->isHidden());
    QVERIFY(ui->pushButtonMANU->isHidden());
    for (const char *name : kClockRow) {
        auto *widget = w.findChild<QWidget *>(QString::fromLatin1(name));
        QVERIFY2(widget, name);
        QVERIFY2(widget->isHidden(), name);
    }
    // Everything else of the form stays shown.
    QStringList hidden;
    for (QWidget *child : w.findChildren<QWidget *>()) {
        if (child->isHidden() && child->parentWidget() &&
            (child->parentWidget() == &w || qobject_cast<QGroupBox *>(child->parentWidget()))) {
            hidden << child->objectName();
        }
    }
    hidden.sort();
    QStringList expectedHidden{"labelWetBulbTemp", "pushButtonAUTO", "pushButtonMANU"};
    for (const char *name : kClockRow) {
        expectedHidden << QString::fromLatin1(name);
    }
    expectedHidden.sort();
    QCOMPARE(hidden, expectedHidden);

    QVERIFY(ui->checkBoxSystemTime->isChecked());
    QVERIFY(ui->dateTimeEditDeviceTime->testAttribute(Qt::WA_ForceDisabled));
    QCOMPARE(ui->dateTimeEditDeviceTime->displayFormat(), QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    QCOMPARE(ui->timeEditStartTime->displayFormat(), QStringLiteral("hh:mm"));
}

void TestForm::startStateLists() {
    ScopedWorkDir dir;
    ModalWatcher watcher;
    Widget w;
    WidgetUi *ui = WidgetTestAccess::ui(w);

    QCOMPARE(ui->comboBoxInterval->count(), 24);
    QCOMPARE(ui->comboBoxInterval->currentIndex(), 0);
    QCOMPARE(ui->comboBoxHeaterTime->count(), 481);
    QCOMPARE(ui->comboBoxHeaterTime->currentIndex(), 0);
    // Index i of the interval list is i + 1 hours, index i of the heating list i seconds.
    for (int i = 0; i < ui->comboBoxInterval->count(); ++i) {
        QCOMPARE(ui->comboBoxInterval->itemText(i), QString::number(i + 1) + QStringLiteral("H"));
    }
    for (int i = 0; i < ui->comboBoxHeaterTime->count(); ++i) {
        QCOMPARE(ui->comboBoxHeaterTime->itemText(i), QString::number(i) + QStringLiteral("S"));
    }
    QCOMPARE(ui->comboBoxInterval->itemText(23), QStringLiteral("24H"));
    QCOMPARE(ui->comboBoxHeaterTime->itemText(480), QStringLiteral("480S"));
    QCOMPARE(ui->comboBoxInterval->currentText(), QStringLiteral("1H"));
    QCOMPARE(ui->comboBoxHeaterTime->currentText(), QStringLiteral("0S"));
}

void TestForm::ownDisabledWidgetsStayDisabledWithTheirGroup() {
    ScopedWorkDir dir;
    ModalWatcher watcher;
    Widget w;
    WidgetUi *ui = WidgetTestAccess::ui(w);

    ui->groupBoxDevice->setEnabled(true);
    ui->groupBoxRTD->setEnabled(true);
    ui->groupBoxMessage->setEnabled(true);

    QStringList disabled;
    for (QWidget *child : w.findChildren<QWidget *>()) {
        if (!child->isEnabled() && qobject_cast<QGroupBox *>(child->parentWidget())) {
            disabled << child->objectName();
        }
    }
    disabled.sort();
    QCOMPARE(disabled, (QStringList{"comboBoxChannel", "comboBoxOutputData", "comboBoxType",
                                    "dateTimeEditDeviceTime", "labelChannel", "pushButtonOutputData"}));
}

void TestForm::slotOrder() {
    const QMetaObject &meta = Widget::staticMetaObject;
    const QList<QByteArray> expected{"PushButtonLinkSlot()",
                                     "PushButtonAddressSlot()",
                                     "PushButtonBaudRateSlot()",
                                     "PushButtonAddressReadSlot()",
                                     "my_readuart()",
                                     "PushButtonReadSlot()",
                                     "ReadHumitureOrder()",
                                     "PushButtonReadSNSlot()",
                                     "PushButtonAUTOSetupSlot()",
                                     "PushButtonMANUSetupSlot()",
                                     "PushButtonTempRangeSlot()",
                                     "PushButtonHumiditySimpleSlot()",
                                     "PushButtonHumidityOffsetSlot()",
                                     "PushButtonCapClearSlot()",
                                     "PushButtonTemperatureSimpleSlot()",
                                     "PushButtonTemperatureOffsetSlot()",
                                     "PushButtonResClearSlot()",
                                     "PushButtonCalibrationResetSlot()",
                                     "PushButtonCapacitorSlot()",
                                     "PushButtonCalibrationReadSlot()",
                                     "PushButtonOutputReadSlot()",
                                     "PushButtonHeaterONSlot()",
                                     "PushButtonHeaterOFFSlot()",
                                     "PushButtonUnitSlot()",
                                     "PushButtonCalibrationApplySlot()",
                                     "PushButtonOutputSlot()",
                                     "PushButtonCalculateSlot()",
                                     "PushButtonOutputApplySlot()",
                                     "AUTOUartInit()",
                                     "PushButtonCloseSlot()",
                                     "PushButtonLoadFileSlot()",
                                     "PushButtonSaveFileSlot()",
                                     "TimerDelaySlot()",
                                     "TimerClearSlot()",
                                     "Timer1SSlot()",
                                     "TimerTxDataSlot()",
                                     "PushButtonReadInfoSlot()",
                                     "CheckBoxSystemTimeSlot(int)",
                                     "PushButtonDeviceTimeSlot()",
                                     "PushButtonHeaterTimeSlot()"};
    QCOMPARE(expected.size(), 40);
    QList<QByteArray> actual;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod method = meta.method(i);
        QCOMPARE(method.methodType(), QMetaMethod::Slot);
        QCOMPARE(method.access(), QMetaMethod::Private);
        QCOMPARE(QByteArray(method.typeName()), QByteArray("void"));
        actual << method.methodSignature();
    }
    QCOMPARE(actual, expected);
    QCOMPARE(QByteArray(meta.className()), QByteArray("Widget"));
    QCOMPARE(meta.superClass(), &QWidget::staticMetaObject);
}

void TestForm::dialogPlacement_data() {
    addPlacementColumns();
    const char *G = "groupBox";
    const char *S = "SerialportSettingDialog";
    cell("gridLayout_2", "QGridLayout", S, "-", 0, 0);
    cell("groupBox", "QGroupBox", S, "gridLayout_2", 0, 0);
    cell("gridLayout", "QGridLayout", G, "-", 0, 0);
    cell("verticalLayout_2", "QVBoxLayout", "", "gridLayout", 0, 1);
    boxItem("label", "QLabel", G, "verticalLayout_2", 1);
    boxItem("label_2", "QLabel", G, "verticalLayout_2", 2);
    boxItem("label_3", "QLabel", G, "verticalLayout_2", 3);
    boxItem("label_4", "QLabel", G, "verticalLayout_2", 4);
    boxItem("label_5", "QLabel", G, "verticalLayout_2", 5);
    cell("verticalLayout", "QVBoxLayout", "", "gridLayout", 0, 2);
    boxItem("comboBoxName", "QComboBox", G, "verticalLayout", 1);
    boxItem("comboBoxBaud", "QComboBox", G, "verticalLayout", 2);
    boxItem("comboBoxData", "QComboBox", G, "verticalLayout", 3);
    boxItem("comboBoxParity", "QComboBox", G, "verticalLayout", 4);
    boxItem("comboBoxStop", "QComboBox", G, "verticalLayout", 5);
    cell("horizontalLayout", "QHBoxLayout", "", "gridLayout_2", 1, 0);
    boxItem("pushButtonOK", "QPushButton", S, "horizontalLayout", 2);
    boxItem("pushButtonCancel", "QPushButton", S, "horizontalLayout", 3);
}

void TestForm::dialogPlacement() {
    SerialportSettingDialogUi ui;
    QDialog dialog;
    ui.setupUi(&dialog);
    const QString problem = placementProblem(&dialog);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void TestForm::dialogForm() {
    SerialportSettingDialogUi ui;
    QDialog dialog;
    ui.setupUi(&dialog);
    QCOMPARE(dialog.objectName(), QStringLiteral("SerialportSettingDialog"));
    QCOMPARE(dialog.size(), QSize(400, 235));
    QCOMPARE(dialog.minimumSize(), QSize(0, 0));
    QCOMPARE(dialog.font().family(), QStringLiteral("Arial"));
    QCOMPARE(dialog.font().pointSize(), 10);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Dialog"));
    QCOMPARE(ui.groupBox->title(), QStringLiteral("Serialport Settings"));
    QCOMPARE(ui.label->text(), QStringLiteral("Port Name:"));
    QCOMPARE(ui.label_2->text(), QStringLiteral("Baud Rate:"));
    QCOMPARE(ui.label_3->text(), QStringLiteral("Data Bits:"));
    QCOMPARE(ui.label_4->text(), QStringLiteral("Parity:"));
    QCOMPARE(ui.label_5->text(), QStringLiteral("Stop Bits:"));
    QCOMPARE(ui.pushButtonOK->text(), QStringLiteral("OK"));
    QCOMPARE(ui.pushButtonCancel->text(), QStringLiteral("Cancel"));

    QList<QWidget *> widgets;
    QList<QLayout *> layouts;
    QList<QSpacerItem *> spacers;
    collectItems(dialog.layout(), widgets, layouts, spacers);
    QCOMPARE(widgets.size(), 13);
    QCOMPARE(layouts.size(), 5);
    QCOMPARE(spacers.size(), 4);
    for (QWidget *w : widgets) {
        QVERIFY2(!w->testAttribute(Qt::WA_SetFont), qPrintable(w->objectName()));
        QCOMPARE(w->font().pointSize(), 10);
    }
    auto *grid = dialog.findChild<QGridLayout *>(QStringLiteral("gridLayout"));
    auto *row = dialog.findChild<QHBoxLayout *>(QStringLiteral("horizontalLayout"));
    QVERIFY(grid && row);
    QCOMPARE(itemNames(grid), (QStringList{"spacer", "verticalLayout_2", "verticalLayout", "spacer"}));
    QCOMPARE(itemNames(row), (QStringList{"spacer", "pushButtonOK", "pushButtonCancel", "spacer"}));
    int column = -1;
    int dummy = 0;
    grid->getItemPosition(0, &dummy, &column, &dummy, &dummy);
    QCOMPARE(column, 0);
    grid->getItemPosition(3, &dummy, &column, &dummy, &dummy);
    QCOMPARE(column, 3);
    for (int i : {0, 3}) {
        QCOMPARE(grid->itemAt(i)->spacerItem()->sizeHint(), QSize(105, 20));
    }
    for (int i : {0, 3}) {
        QCOMPARE(row->itemAt(i)->spacerItem()->sizeHint(), QSize(40, 20));
    }
    for (QSpacerItem *spacer : spacers) {
        QCOMPARE(spacer->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
        QCOMPARE(spacer->sizePolicy().verticalPolicy(), QSizePolicy::Minimum);
    }
}

void TestForm::dialogItems_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("items");
    QTest::newRow("comboBoxName") << "comboBoxName" << QStringList();
    QTest::newRow("comboBoxBaud") << "comboBoxBaud"
                                  << QStringList{"AUTO", "1200", "2400", "4800", "9600", "19200", "115200"};
    QTest::newRow("comboBoxData") << "comboBoxData" << QStringList{"8"};
    QTest::newRow("comboBoxParity") << "comboBoxParity" << QStringList{"NO", "ODD", "EVEN"};
    QTest::newRow("comboBoxStop") << "comboBoxStop" << QStringList{"1"};
}

void TestForm::dialogItems() {
    QFETCH(QString, name);
    QFETCH(QStringList, items);
    SerialportSettingDialogUi ui;
    QDialog dialog;
    ui.setupUi(&dialog);
    auto *combo = dialog.findChild<QComboBox *>(name);
    QVERIFY(combo);
    QVERIFY(!combo->isEditable());
    QCOMPARE(comboItems(combo), items);
    QCOMPARE(combo->currentIndex(), items.isEmpty() ? -1 : 0);
}

void TestForm::chineseCatalogue() {
    ScopedWorkDir dir;
    QVERIFY(dir.installCatalogue());
    InstalledTranslator guard;
    QVERIFY(guard.translator.load(QStringLiteral("Qm/Chinese.qm")));
    QVERIFY(QCoreApplication::installTranslator(&guard.translator));
    guard.installed = true;

    WidgetUi ui;
    QWidget window;
    ui.setupUi(&window);

    // "Setting" and "Read" are one source text each, shared by several buttons.
    for (const char *name : kSettingButtons) {
        auto *button = window.findChild<QPushButton *>(QString::fromLatin1(name));
        QVERIFY2(button, name);
        QCOMPARE(button->text(), QStringLiteral("设置"));
    }
    for (const char *name : kReadButtons) {
        auto *button = window.findChild<QPushButton *>(QString::fromLatin1(name));
        QVERIFY2(button, name);
        QCOMPARE(button->text(), QStringLiteral("读取"));
    }
    QCOMPARE(ui.groupBoxDevice->title(), QStringLiteral("设备"));
    QCOMPARE(ui.groupBoxRTD->title(), QStringLiteral("实时数据"));
    QCOMPARE(ui.groupBoxMessage->title(), QStringLiteral("消息"));
    QCOMPARE(ui.pushButtonLink->text(), QStringLiteral("连接"));
    QCOMPARE(ui.pushButtonClose->text(), QStringLiteral("关闭"));
    QCOMPARE(ui.label_7->text(), QStringLiteral("温度输出量程(℃)："));
    QCOMPARE(ui.labelTemperature->text(), QStringLiteral("温度："));
    QCOMPARE(ui.checkBoxSystemTime->text(), QStringLiteral("使用系统时间"));
    QCOMPARE(comboItems(ui.comboBoxNum), (QStringList{"全部", "温度", "湿度", "露点", "状态"}));
    QCOMPARE(comboItems(ui.comboBoxOutputData), (QStringList{"温度", "湿度", "露点温度"}));
    // Numbers stay numbers: the baud-rate code is the index, the dialog reads its rate as a number.
    QCOMPARE(comboItems(ui.comboBoxBaudRate),
             (QStringList{"1200", "2400", "4800", "9600", "19200", "115200"}));
    QCOMPARE(comboItems(ui.comboBoxRegister), (QStringList{"*10", "*100"}));

    // Every label, button, check box and group title of the form is translated (only the
    // numbers of the lists are kept).
    QList<QWidget *> widgets;
    QList<QLayout *> layouts;
    QList<QSpacerItem *> spacers;
    collectItems(window.layout(), widgets, layouts, spacers);
    for (QWidget *w : widgets) {
        QString shown;
        if (auto *label = qobject_cast<QLabel *>(w)) {
            shown = label->text();
        } else if (auto *button = qobject_cast<QAbstractButton *>(w)) {
            shown = button->text();
        } else if (auto *group = qobject_cast<QGroupBox *>(w)) {
            shown = group->title();
        } else {
            continue;
        }
        QVERIFY2(!shown.isEmpty(), qPrintable(w->objectName()));
        bool hasChinese = false;
        for (QChar c : shown) {
            hasChinese = hasChinese || (c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF);
        }
        QVERIFY2(hasChinese, qPrintable(w->objectName() + QStringLiteral(": ") + shown));
    }

    SerialportSettingDialogUi dialogUi;
    QDialog dialog;
    dialogUi.setupUi(&dialog);
    QCOMPARE(dialogUi.groupBox->title(), QStringLiteral("串口设置"));
    QCOMPARE(dialogUi.label->text(), QStringLiteral("端口名称："));
    QCOMPARE(dialogUi.label_2->text(), QStringLiteral("波特率："));
    QCOMPARE(dialogUi.label_3->text(), QStringLiteral("数据位："));
    QCOMPARE(dialogUi.label_4->text(), QStringLiteral("校验位："));
    QCOMPARE(dialogUi.label_5->text(), QStringLiteral("停止位："));
    QCOMPARE(dialogUi.pushButtonOK->text(), QStringLiteral("确定"));
    QCOMPARE(dialogUi.pushButtonCancel->text(), QStringLiteral("取消"));
    QCOMPARE(comboItems(dialogUi.comboBoxBaud),
             (QStringList{"自动", "1200", "2400", "4800", "9600", "19200", "115200"}));
    QCOMPARE(comboItems(dialogUi.comboBoxParity), (QStringList{"无", "奇校验", "偶校验"}));
    QCOMPARE(comboItems(dialogUi.comboBoxData), QStringList{"8"});
    QCOMPARE(comboItems(dialogUi.comboBoxStop), QStringList{"1"});
    QCOMPARE(QCoreApplication::translate("SerialportSettingDialog", "Serial port"), QStringLiteral("串口"));
}

void TestForm::chineseCatalogueCoversRunTimeTexts_data() {
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("translation");
    auto row = [](const char *context, const char *source, const char *translation) {
        QTest::newRow(source) << QString::fromLatin1(context) << QString::fromUtf8(source)
                              << QString::fromUtf8(translation);
    };
    row("Widget", "Application start!", "程序启动！");
    row("Widget", "Application close!", "程序关闭！");
    row("Widget", "Read", "读取");
    row("Widget", "Stop", "停止");
    row("Widget", "Error", "错误");
    row("Widget", "Succeed", "成功");
    row("Widget", "The device baud rate is:", "设备波特率为：");
    row("Widget", "Communication error!", "通信错误！");
    row("Widget", "USB device error, please reconnect USB device!", "USB设备错误，请重新连接USB设备！");
    row("Widget", "Serial port %1 closed: %2; waiting for it to come back",
        "串口 %1 已关闭：%2；等待其重新连接");
    row("Widget", "Serial port %1 is back after %2 with another unit (%3): not linked, press Link",
        "串口 %1 在 %2 后恢复，但连接的是另一台设备（%3）：未连接，请点击连接");
    row("Widget", "Connection to %1 closed: %2; waiting for it to come back",
        "与 %1 的连接已断开：%2；等待其恢复");
    row("Widget", "%1 log line(s) lost: the log file could not be written", "丢失%1行日志：日志文件无法写入");
    row("Widget", "The log file cannot be written: %1", "日志文件无法写入：%1");
    row("Widget", "The address is empty!", "地址为空！");
    row("Widget", "The address is between 1 and 247!", "地址范围为1到247！");
    row("Widget", "The serial number is a fixed 12 characters!", "序列号固定为12个字符！");
    row("Widget", "Data is empty!", "数据为空！");
    row("Widget", "Data is out of range!", "数据超出范围！");
    row("Widget", "Firmware version:", "固件版本：");
    row("Widget", "Temperature:---", "温度：---");
    row("Widget", "Humidity:---", "湿度：---");
    row("Widget", "DewTemp:---", "露点：---");
    row("Widget", "Please choose the output data from the list!", "请从列表中选择输出数据！");
    row("Widget", "Please choose a baud rate from the list!", "请从列表中选择波特率！");
    row("Widget", "Please choose a heating interval and a heating time from the list!",
        "请从列表中选择加热间隔和加热时间！");
    row("Widget", "The device time has not been read, please enter a time!", "设备时间未读取，请输入时间！");
    row("Widget", "The device reports an output data code that is not in the list: %1",
        "设备报告的输出数据代码不在列表中：%1");
    row("Widget", "The device reports a baud rate code that is not in the list: %1",
        "设备报告的波特率代码不在列表中：%1");
    row("Widget", "The device reports a heating interval that is not in the list: %1",
        "设备报告的加热间隔不在列表中：%1");
    row("Widget", "The device reports a heating time that is not in the list: %1",
        "设备报告的加热时间不在列表中：%1");
    row("Widget", "The device clock holds an impossible date: %1", "设备时钟的日期无效：%1");
    row("Widget", "Settings cannot be saved to %1: %2", "设置无法保存到%1：%2");
    row("Widget", "Not read", "未读取");
    row("Widget", "Temperature:", "温度：");
    row("Widget", "Humidity:", "湿度：");
    row("Widget", "DewTemp:", "露点：");
    row("Widget", "H", "小时");
    row("Widget", "S", "秒");
    // Units and model names are entries of their own, kept as they are.
    row("Widget", "mA", "mA");
    row("Widget", "V", "V");
    row("Widget", "ZR100", "ZR100");
    row("Widget", "ZR200", "ZR200");
    row("Widget", "ZR300", "ZR300");
    row("Widget", "ZR200Pro", "ZR200Pro");
    row("Widget", "ZR200Mini_S", "ZR200Mini_S");
    row("Widget", "ZR200Mini_M", "ZR200Mini_M");
    row("Widget",
        "Serial port %1 cannot be opened: no permission. The device belongs to the group %2; run %3, "
        "then log out and log in again.",
        "串口%1无法打开：没有权限。该设备属于用户组%2；请运行 %3，然后注销并重新登录。");
    row("Widget", "Serial port %1 is busy: another program has it open.",
        "串口%1正忙：另一个程序已将其打开。");
    row("Widget", "Serial port %1 cannot be opened: no such device.", "串口%1无法打开：设备不存在。");
    row("Widget", "Serial port %1 cannot be opened: %2", "串口%1无法打开：%2");
    row("Widget", "Serial port %1 cannot be opened: no permission.", "串口%1无法打开：没有权限。");
    row("Widget", "No serial port was chosen.", "未选择串口。");
    row("SerialportSettingDialog", "(no permission)", "（无权限）");
    row("SerialportSettingDialog",
        "No permission: the device belongs to the group %1; run %2, then log out and log in again.",
        "没有权限：该设备属于用户组%1；请运行 %2，然后注销并重新登录。");
    row("SerialportSettingDialog", "Serial port", "串口");
    row("SerialportSettingDialog", "Dialog", "对话框");
}

void TestForm::chineseCatalogueCoversRunTimeTexts() {
    QFETCH(QString, context);
    QFETCH(QString, source);
    QFETCH(QString, translation);
    ScopedWorkDir dir;
    QVERIFY(dir.installCatalogue());
    QTranslator translator;
    QVERIFY(translator.load(QStringLiteral("Qm/Chinese.qm")));
    // A missing entry would come back empty, also for the texts kept unchanged.
    QCOMPARE(translator.translate(context.toLatin1().constData(), source.toUtf8().constData()), translation);
}

void TestForm::chineseStartState() {
    ScopedWorkDir dir;
    QVERIFY(dir.installCatalogue());
    InstalledTranslator guard;
    QVERIFY(guard.translator.load(QStringLiteral("Qm/Chinese.qm")));
    QVERIFY(QCoreApplication::installTranslator(&guard.translator));
    guard.installed = true;

    ModalWatcher watcher;
    Widget w;
    WidgetUi *ui = WidgetTestAccess::ui(w);
    QCOMPARE(ui->comboBoxInterval->count(), 24);
    QCOMPARE(ui->comboBoxInterval->itemText(0), QStringLiteral("1小时"));
    QCOMPARE(ui->comboBoxInterval->itemText(23), QStringLiteral("24小时"));
    QCOMPARE(ui->comboBoxHeaterTime->count(), 481);
    QCOMPARE(ui->comboBoxHeaterTime->itemText(0), QStringLiteral("0秒"));
    QCOMPARE(ui->comboBoxHeaterTime->itemText(480), QStringLiteral("480秒"));
    QCOMPARE(ui->comboBoxType->currentText(), QStringLiteral("ZR100"));
    QCOMPARE(comboItems(ui->comboBoxChannel), QStringList{"1"});
    QVERIFY(ui->labelVersions->text().isEmpty());
    QCOMPARE(ui->groupBoxDevice->title(), QStringLiteral("设备"));
}

QTEST_MAIN(TestForm)
#include "tst_form.moc"
