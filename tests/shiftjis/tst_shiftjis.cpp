#include "shiftjis/ShiftJis.h"

#include <QtTest>

namespace {

QByteArray sj(const char* hex)
{
    return QByteArray::fromHex(hex);
}

} // namespace

// The table's rows, the characters outside the BMP and the three unmapped
// ones are checked through the roster export; here what joins them.
class TestShiftJis : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void writesAsWindows_data();
    void writesAsWindows();
    void writesTextAsItsCharacters_data();
    void writesTextAsItsCharacters();
    void writesEngineUtf8AsItsText_data();
    void writesEngineUtf8AsItsText();
    void readsAsciiAsItself();
    void listsReplacedCharacters_data();
    void listsReplacedCharacters();
};

void TestShiftJis::writesAsWindows_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("code page characters between replaced ones")
        << QStringLiteral("髙é😀～한ｶ") << sj("fbfc653f3f81603fb6");
    QTest::newRow("only characters that come back")
        << QStringLiteral("A髙①～ｶ\r\n") << sj("41fbfc87408160b60d0a");
    QByteArray ascii;
    for (char c = 1; c > 0; ++c)
        ascii += c;
    QTest::newRow("ASCII but NUL as itself") << QString::fromLatin1(ascii) << ascii;
    QTest::newRow("exchanged controls beside a best fit")
        << QStringLiteral("\u001AJos\u00E9\u001C\u007F") << sj("1a4a6f73651c7f");
    QTest::newRow("lone high surrogate")
        << QStringLiteral("A") + QChar(0xD842) + QStringLiteral("B") << QByteArray("A?B");
    QTest::newRow("lone low surrogate") << QStringLiteral("A") + QChar(0xDFB7) << QByteArray("A?");
    QTest::newRow("pair in the wrong order")
        << QString(QChar(0xDFB7)) + QChar(0xD842) << QByteArray("??");
    QTest::newRow("private use U+F86F, which ICU maps one way to №")
        << QStringLiteral("\uF86F№") << sj("3f8782");
    QTest::newRow("user-defined area U+E000") << QStringLiteral("\uE000") << sj("f040");
    // ICU's own stand-in for what the code page lacks is no character of it
    // (found by fuzzing: it was written as FC FC, which reads as nothing).
    QTest::newRow("replacement character U+FFFD") << QStringLiteral("\uE1FF\uFFFD") << sj("f2c83f");
}

void TestShiftJis::writesAsWindows()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, expected);

    QCOMPARE(shiftjis::toShiftJis(text), expected);
    shiftjis::ShiftJisBuilder builder;
    builder.appendUtf8("x");
    builder.appendUtf8(text.toUtf8());
    QCOMPARE(builder.take(), "x" + expected);
}

// A text of characters that all come back is written without the read-back;
// one that holds any other character is written run by run. Both ways must
// give the bytes of the text's characters written one by one.
void TestShiftJis::writesTextAsItsCharacters_data()
{
    QTest::addColumn<QString>("text");

    const QString line = QStringLiteral("\"0001\",\"山田 太郎\",\"ﾔﾏﾀﾞ ﾀﾛｳ\",\"髙橋①～\",\"\"\r\n");
    QTest::newRow("roster lines, all written the short way") << line.repeated(40);
    QTest::newRow("one-way U+F86F in the middle of lines")
        << line.repeated(20) + QChar(0xF86F) + line.repeated(20);
    QTest::newRow("best fit, unmapped and outside the BMP among lines")
        << line + QStringLiteral("José〜‖−😀") + line + QChar(0xD842) + line;
}

void TestShiftJis::writesTextAsItsCharacters()
{
    QFETCH(QString, text);

    QByteArray oneByOne;
    // The builder grows piece by piece, taking every other one as UTF-8.
    shiftjis::ShiftJisBuilder builder;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype length =
            text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2
                                                                                             : 1;
        const QStringView character = QStringView(text).sliced(i, length);
        oneByOne += shiftjis::toShiftJis(character);
        if (i % 2 == 0)
            builder.appendUtf8(character.toUtf8());
        else
            builder.append(character);
        i += length - 1;
    }
    QCOMPARE(shiftjis::toShiftJis(text), oneByOne);
    QCOMPARE(builder.take(), oneByOne);
}

// The engine hands over UTF-8 that may be ill-formed in a damaged or foreign
// file; whatever it holds is written as the text Qt reads from it.
void TestShiftJis::writesEngineUtf8AsItsText_data()
{
    QTest::addColumn<QByteArray>("utf8");

    QTest::newRow("roster line") << QByteArray("\"0001\",\"山田 太郎\",\"ﾔﾏﾀﾞ\"\r\n");
    QTest::newRow("outside the BMP") << QByteArray::fromHex("41f0a0aeb742");
    QTest::newRow("surrogate written as UTF-8") << QByteArray::fromHex("41eda08042");
    QTest::newRow("overlong slash") << QByteArray::fromHex("41c0af42");
    QTest::newRow("overlong three bytes") << QByteArray::fromHex("41e080af42");
    QTest::newRow("cut inside a character") << QByteArray("山\xE5\xB1");
    QTest::newRow("lone trail byte") << QByteArray::fromHex("418042");
    QTest::newRow("byte order mark first") << QByteArray::fromHex("efbbbf41");
    QTest::newRow("NUL inside") << QByteArray("A\0B", 3);
    QTest::newRow("Latin-1, not UTF-8") << QByteArray::fromHex("4a6f73e9");
}

void TestShiftJis::writesEngineUtf8AsItsText()
{
    QFETCH(QByteArray, utf8);

    shiftjis::ShiftJisBuilder builder;
    builder.append(u"x");
    builder.appendUtf8(utf8);

    QCOMPARE(builder.take(), "x" + shiftjis::toShiftJis(QString::fromUtf8(utf8)));
}

void TestShiftJis::readsAsciiAsItself()
{
    QByteArray bytes;
    for (char c = 1; c > 0; ++c)
        bytes += c + sj("82a0");
    bool complete = false;

    const QString text = shiftjis::fromShiftJis(bytes, &complete);

    QVERIFY(complete);
    QString expected;
    for (char c = 1; c > 0; ++c)
        expected += QLatin1Char(c) + QStringLiteral("あ");
    QCOMPARE(text, expected);
}

void TestShiftJis::listsReplacedCharacters_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("all in the code page, a ? among them")
        << QStringLiteral("日本～①髙?") << QStringList();
    QTest::newRow("each once, in order, a pair as one")
        << QStringLiteral("José 😀 René 〜")
        << QStringList{QStringLiteral("é"), QStringLiteral("😀"), QStringLiteral("〜")};
    QTest::newRow("lone surrogate") << QString(QChar(0xD842)) << QStringList{QChar(0xD842)};
}

void TestShiftJis::listsReplacedCharacters()
{
    QFETCH(QString, text);
    QFETCH(QStringList, expected);

    QCOMPARE(shiftjis::charactersShiftJisReplaces(text), expected);
}

QTEST_GUILESS_MAIN(TestShiftJis)
#include "tst_shiftjis.moc"
