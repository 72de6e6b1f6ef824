#include "model/xml/attributereader.h"
#include "model/xml/xmlformat.h"

#include <QRandomGenerator>
#include <QXmlStreamReader>
#include <QtTest>

#include <cstring>

class TestAttributeReader : public QObject
{
    Q_OBJECT

private slots:
    void badValuesAreRejectedByName_data();
    void badValuesAreRejectedByName();
    void realsReadBackExactly();
};

void TestAttributeReader::badValuesAreRejectedByName_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<double>("expected");
    QTest::newRow("plain") << "0.25" << true << 0.25;
    QTest::newRow("spaces") << " 3 " << true << 3.0;
    QTest::newRow("text") << "abc" << false << 7.0;
    QTest::newRow("nan") << "nan" << false << 7.0;
    QTest::newRow("infinity") << "inf" << false << 7.0;
    QTest::newRow("below") << "-1" << false << 7.0;
    QTest::newRow("above") << "1e300" << false << 7.0;
}

// Each bad value gives the fallback and a message naming element and key; the
// integer path also refuses values beyond int before narrowing them.
void TestAttributeReader::badValuesAreRejectedByName()
{
    QFETCH(QString, value);
    QFETCH(bool, accepted);
    QFETCH(double, expected);
    QXmlStreamReader xml(QStringLiteral("<wall period=\"%1\"/>").arg(value));
    QVERIFY(xml.readNextStartElement());
    AttributeReader a(xml);
    QCOMPARE(a.real("period", 7.0, 0.0, 1e6), expected);
    QCOMPARE(a.ok(), accepted);
    if (!accepted) {
        QVERIFY(a.error().contains("\"wall\""));
        QVERIFY(a.error().contains("\"period\""));
    }

    QXmlStreamReader big(QStringLiteral("<wall current=\"-2147483649\" n=\"12\"/>"));
    QVERIFY(big.readNextStartElement());
    AttributeReader b(big);
    QCOMPARE(b.integer("current", 5), 5);
    QVERIFY(!b.ok());
    QCOMPARE(b.integer("n", 0, 0, 100), 12);
    QCOMPARE(b.integer("missing", 4), 4);
}

void TestAttributeReader::realsReadBackExactly()
{
    QCOMPARE(XmlFormat::real(0.02), QStringLiteral("0.02"));
    QRandomGenerator rng(42);
    for (int n = 0; n < 100000; ++n) {
        quint64 bits = rng.generate64();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        if (!qIsFinite(v))
            continue;
        bool ok = false;
        QCOMPARE(XmlFormat::real(v).toDouble(&ok), v);
        QVERIFY(ok);
    }
}

QTEST_APPLESS_MAIN(TestAttributeReader)
#include "tst_attributereader.moc"
