// What type codes, firmware numbers and baud-rate codes mean, and the search's rate order.
#include "core/device/device_model.h"
#include "core/device/search_schedule.h"

#include <QTest>

class TestModel : public QObject {
    Q_OBJECT

private slots:
    void models_data();
    void models();
    void firmwareText_data();
    void firmwareText();
    void baudCodes_data();
    void baudCodes();
    void searchRates();
};

void TestModel::models_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("firmware");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("clock");
    QTest::addColumn<int>("channels");
    QTest::newRow("ZR100") << 0 << 105 << "ZR100" << false << 1;
    QTest::newRow("ZR200") << 1 << 105 << "ZR200" << false << 2;
    QTest::newRow("ZR300") << 2 << 200 << "ZR300" << false << 2;
    QTest::newRow("ZR200Pro firmware 104") << 3 << 104 << "ZR200Pro" << false << 2;
    QTest::newRow("ZR200Pro firmware 105") << 3 << 105 << "ZR200Pro" << true << 2;
    QTest::newRow("ZR200Pro firmware 65535") << 3 << 65535 << "ZR200Pro" << true << 2;
    QTest::newRow("ZR200Mini_S") << 4 << 105 << "ZR200Mini_S" << false << 2;
    QTest::newRow("ZR200Mini_M") << 5 << 105 << "ZR200Mini_M" << false << 2;
    QTest::newRow("unknown type 6") << 6 << 105 << "" << false << 2;
    QTest::newRow("unknown type 65535") << 65535 << 105 << "" << false << 2;
}

void TestModel::models() {
    QFETCH(int, type);
    QFETCH(int, firmware);
    QFETCH(QString, name);
    QFETCH(bool, clock);
    QFETCH(int, channels);
    const auto code = static_cast<quint16>(type);
    QCOMPARE(Model::name(code), name);
    QCOMPARE(Model::hasClock(code, static_cast<quint16>(firmware)), clock);
    QCOMPARE(Model::channelCount(code), channels);
}

void TestModel::firmwareText_data() {
    QTest::addColumn<int>("firmware");
    QTest::addColumn<QString>("text");
    QTest::newRow("105") << 105 << "V1.0.5";
    QTest::newRow("0") << 0 << "V0.0.0";
    QTest::newRow("1234 keeps the three lowest digits") << 1234 << "V2.3.4";
    QTest::newRow("65535") << 65535 << "V5.3.5";
}

void TestModel::firmwareText() {
    QFETCH(int, firmware);
    QFETCH(QString, text);
    QCOMPARE(Model::firmwareText(static_cast<quint16>(firmware)), text);
}

void TestModel::baudCodes_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("rate");
    QTest::newRow("1") << 1 << 1200;
    QTest::newRow("4") << 4 << 9600;
    QTest::newRow("6") << 6 << 115200;
    QTest::newRow("0 is none") << 0 << 0;
    QTest::newRow("7 is none") << 7 << 0;
}

void TestModel::baudCodes() {
    QFETCH(int, code);
    QFETCH(int, rate);
    QCOMPARE(Model::baudRateForCode(static_cast<quint16>(code)), rate);
    if (rate != 0) {
        QCOMPARE(int(Model::codeForBaudRate(rate)), code);
    }
    QCOMPARE(int(Model::codeForBaudRate(38400)), 0);
}

void TestModel::searchRates() {
    QCOMPARE(Search::rates(), (QVector<int>{115200, 19200, 9600, 4800, 2400, 1200}));
    QCOMPARE(Search::rates().size(), Search::RateCount);
    for (int rate : Search::rates()) {
        QVERIFY(Model::codeForBaudRate(rate) != 0);
    }
}

QTEST_MAIN(TestModel)
#include "tst_model.moc"
