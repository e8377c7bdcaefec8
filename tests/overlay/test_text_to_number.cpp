// Numbers typed into the caption's size boxes: the leading number of a text,
// full-width forms folded, and its integer.
#include "overlay/TextToNumber.h"

#include <QTest>

#include <cmath>
#include <limits>

using namespace mugrove;

class TextToNumberTest : public QObject {
    Q_OBJECT

private slots:
    void text_to_number_reads_the_leading_number()
    {
        const struct {
            const char* text;
            double number;
            int integer;
        } cases[] = {
            {"12abc", 12, 12}, {"abc", 0, 0}, {"1e2", 100, 100}, {"３００", 300, 300},
            {"-3.7", -3.7, -3}, {"12.9", 12.9, 12}, {"", 0, 0}, {"  \t42", 42, 42},
            {"+.5", 0.5, 0}, {"1e", 1, 1}, {"1e+", 1, 1}, {"2E-1x", 0.2, 0}, {"-", 0, 0},
            {".", 0, 0}, {"１２．５ｅ１", 125, 125}, {"　７", 7, 7}, {"4294967298", 4294967298.0, 2},
        };
        for (const auto& c : cases) {
            const double number = TextToNumber(QString::fromUtf8(c.text));
            QVERIFY2(std::abs(number - c.number) < 1e-12, c.text);
            QCOMPARE(NumberToInteger(number), c.integer);
        }
    }

    void numbers_outside_every_integer_give_zero_not_undefined_behaviour()
    {
        QCOMPARE(TextToNumber(QStringLiteral("1e999")), std::numeric_limits<double>::infinity());
        QCOMPARE(TextToNumber(QStringLiteral("-1e999")), -std::numeric_limits<double>::infinity());
        QCOMPARE(TextToNumber(QStringLiteral("1e-999")), 0.0);
        QCOMPARE(NumberToInteger(TextToNumber(QStringLiteral("1e999"))), 0);
        QCOMPARE(NumberToInteger(1e19), 0);
        QCOMPARE(NumberToInteger(std::nan("")), 0);
        QCOMPARE(NumberToInteger(-9.2e18), 1650982912); // -9200000000000000000 mod 2^32
    }
};

QTEST_GUILESS_MAIN(TextToNumberTest)
#include "test_text_to_number.moc"
