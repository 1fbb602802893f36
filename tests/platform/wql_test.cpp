#include "platform/wmi/wql.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

#include "platform/wmi/error.h"

using namespace torvix::wmi;

namespace {

// Every query text the window sends, as it sends it.
const QStringList windowQueries = {
    QStringLiteral("Select * From Win32_Processor"),
    QStringLiteral("Select * from Win32_ComputerSystem"),
    QStringLiteral("Select * From Win32_OperatingSystem"),
    QStringLiteral("Select * From Win32_PointingDevice"),
    QStringLiteral("SELECT * FROM Win32_Process"),
    QStringLiteral("Select IPAddress from Win32_NetworkAdapterConfiguration where IPEnabled=TRUE"),
    QStringLiteral("select * from Win32_PingStatus where address = '192.168.0.10'"),
    QStringLiteral("select * from Win32_PingStatus where address = ''"),
    QStringLiteral("Select * from Win32_NetworkAdapterConfiguration Where IPEnabled = True"),
    QStringLiteral("SELECT * FROM Win32_NetworkAdapterConfiguration WHERE IPEnabled = True"),
    QStringLiteral("Select * From Win32_NetworkAdapterConfiguration where IPEnabled=TRUE"),
    QStringLiteral("Select * From Win32_NetworkadapterConfiguration Where IPEnabled = True"),
    QStringLiteral("Select * From Win32_ComputerSystemProduct"),
    QStringLiteral("Select * from Win32_Product"),
    QStringLiteral("Select * From Win32_NetworkAdapterConfiguration"),
    QStringLiteral("Select * From Win32_Printer Where Default='True'"),
    QStringLiteral("Select * From Win32_Printer"),
    QStringLiteral("Select * From Win32_NetworkLoginProfile"),
    QStringLiteral("Select * from Win32_NTLogEvent Where Logfile = 'System' and "
                   "(EventCode = '6005' or EventCode = '6006')"),
};

Instance adapter(bool ipEnabled, Value address = Value()) {
    return Instance(QStringLiteral("Win32_NetworkAdapterConfiguration"),
                    {{QStringLiteral("IPEnabled"), Value(ipEnabled)},
                     {QStringLiteral("IPAddress"), std::move(address)}});
}

bool match(const QString& text, const Instance& inst) {
    const wql::Query q = wql::parse(text);
    return !q.where || wql::matches(*q.where, inst);
}

Error::Code codeOf(const QString& text) {
    try {
        wql::parse(text);
    } catch (const Error& e) {
        return e.code();
    }
    return Error::Code::NotSupported;  // "no error"
}

}  // namespace

TEST(Wql, ParsesEveryQueryOfTheWindow) {
    for (const QString& text : windowQueries) {
        SCOPED_TRACE(text.toStdString());
        EXPECT_NO_THROW(wql::parse(text));
    }
    const wql::Query q = wql::parse(windowQueries[5]);
    EXPECT_FALSE(q.selectAll);
    EXPECT_EQ(q.properties, QStringList{QStringLiteral("IPAddress")});
    EXPECT_EQ(q.className, QStringLiteral("Win32_NetworkAdapterConfiguration"));
    ASSERT_TRUE(q.where);
    EXPECT_EQ(q.where->kind, wql::Expr::Kind::Compare);
    EXPECT_EQ(q.where->property, QStringLiteral("IPEnabled"));
    EXPECT_EQ(q.where->literal, Value(true));

    const wql::Query all = wql::parse(QStringLiteral("sElEcT  *  fRoM   win32_product  "));
    EXPECT_TRUE(all.selectAll);
    EXPECT_EQ(all.className, QStringLiteral("win32_product"));
    EXPECT_FALSE(all.where);

    const wql::Query list =
        wql::parse(QStringLiteral("SELECT Caption,Version , Name FROM Win32_Product"));
    EXPECT_EQ(list.properties, (QStringList{"Caption", "Version", "Name"}));
}

TEST(Wql, BooleanCoercions) {
    // IPEnabled=TRUE, = True, ='True', =1 all select enabled adapters, and only those.
    for (const char* cond : {"IPEnabled=TRUE", "IPEnabled = True", "ipenabled = 'True'",
                             "IPEnabled = 'true'", "IPEnabled = 1", "TRUE = IPEnabled"}) {
        SCOPED_TRACE(cond);
        const QString text =
            QStringLiteral("Select * from Win32_NetworkAdapterConfiguration where ") +
            QLatin1String(cond);
        EXPECT_TRUE(match(text, adapter(true)));
        EXPECT_FALSE(match(text, adapter(false)));
    }
    const QString printers = QStringLiteral("Select * From Win32_Printer Where Default='True'");
    EXPECT_TRUE(match(printers, Instance("Win32_Printer", {{"Default", Value(true)}})));
    EXPECT_FALSE(match(printers, Instance("Win32_Printer", {{"Default", Value(false)}})));
    EXPECT_FALSE(match(printers, Instance("Win32_Printer", {{"Default", Value()}})));
    EXPECT_FALSE(match(QStringLiteral("Select * From Win32_Printer Where Default='yes'"),
                       Instance("Win32_Printer", {{"Default", Value(true)}})));
    EXPECT_TRUE(match(QStringLiteral("Select * From Win32_Printer Where Default<>'False'"),
                      Instance("Win32_Printer", {{"Default", Value(true)}})));
}

TEST(Wql, EventLogQueryCoercesTextToInteger) {
    const QString text = windowQueries.last();
    auto event = [](const char* log, std::int64_t code) {
        return Instance("Win32_NTLogEvent", {{"Logfile", Value(log)}, {"EventCode", Value(code)}});
    };
    EXPECT_TRUE(match(text, event("System", 6005)));
    EXPECT_TRUE(match(text, event("system", 6006)));
    EXPECT_FALSE(match(text, event("System", 6008)));
    EXPECT_FALSE(match(text, event("Application", 6005)));
    EXPECT_FALSE(match(text, Instance("Win32_NTLogEvent",
                                      {{"Logfile", Value("System")}, {"EventCode", Value()}})));
    // Numbers against numbers and texts of numbers, either side, every operator.
    const Instance n("C", {{"P", Value(std::int64_t(10))}, {"D", Value(2.5)}, {"T", Value("b")}});
    EXPECT_TRUE(match("select * from C where P > 9 and P >= 10 and P < '11' and P <= 10.0", n));
    EXPECT_TRUE(match("select * from C where 11 > P and '10' = P and 9 <> P and P != 11", n));
    EXPECT_FALSE(match("select * from C where P < 10", n));
    EXPECT_FALSE(match("select * from C where P = 'ten'", n));
    EXPECT_TRUE(match("select * from C where D > 2 and D < '3' and D = 2.5e0", n));
    EXPECT_TRUE(match("select * from C where T > 'A' and T < 'C' and T = 'B' and 'a' < T", n));
}

TEST(Wql, TextsCompareCaseInsensitivelyAndNamesToo) {
    const Instance ping("Win32_PingStatus",
                        {{"Address", Value("MyHost.Example")}, {"StatusCode", Value(0)}});
    EXPECT_TRUE(match("SELECT * FROM Win32_PingStatus WHERE ADDRESS = 'myhost.example'", ping));
    EXPECT_TRUE(match("select * from Win32_PingStatus where address = \"MYHOST.EXAMPLE\"", ping));
    EXPECT_FALSE(match("select * from Win32_PingStatus where address = 'myhost'", ping));
    EXPECT_TRUE(match("select * from Win32_PingStatus where statuscode = 0", ping));
}

TEST(Wql, NullsMissingPropertiesAndLogic) {
    const Instance a = adapter(true, Value());
    EXPECT_TRUE(match("select * from X where IPAddress IS NULL", a));
    EXPECT_FALSE(match("select * from X where IPAddress is not null", a));
    EXPECT_TRUE(match("select * from X where IPAddress = NULL", a));
    EXPECT_TRUE(match("select * from X where NULL = IPAddress", a));
    // A null property makes every comparison false, and NOT turns that around.
    EXPECT_FALSE(match("select * from X where IPAddress = 'x'", a));
    EXPECT_FALSE(match("select * from X where IPAddress <> 'x'", a));
    EXPECT_TRUE(match("select * from X where NOT IPAddress = 'x'", a));
    // A property the instance does not carry counts as null.
    EXPECT_TRUE(match("select * from X where Absent is null", a));
    EXPECT_FALSE(match("select * from X where Absent = 1", a));
    // Arrays take part in no comparison.
    const Instance b = adapter(true, Value::textArray({"10.0.0.1"}));
    EXPECT_FALSE(match("select * from X where IPAddress = '10.0.0.1'", b));
    EXPECT_TRUE(match("select * from X where IPAddress is not null", b));
    // Precedence: NOT over AND over OR; parentheses override.
    EXPECT_TRUE(match(
        "select * from X where IPEnabled = FALSE or IPEnabled = TRUE and IPAddress is null", a));
    EXPECT_FALSE(match(
        "select * from X where (IPEnabled = FALSE or IPEnabled = TRUE) and IPAddress is not null",
        a));
    EXPECT_FALSE(match("select * from X where not (IPEnabled = TRUE)", a));
    EXPECT_TRUE(match("select * from X where not not ((IPEnabled = TRUE))", a));
}

TEST(Wql, MalformedQueriesFailWithPositionAndExpectation) {
    try {
        wql::parse(QStringLiteral("Select * Form Win32_Processor"));
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), Error::Code::InvalidQuery);
        EXPECT_TRUE(e.message().contains(QStringLiteral("position 10")))
            << e.message().toStdString();
        EXPECT_TRUE(e.message().contains(QStringLiteral("FROM"))) << e.message().toStdString();
    }
    for (const char* bad : {"",
                            "   ",
                            "Select",
                            "Select * ",
                            "Select * From",
                            "Select From Win32_Process",
                            "Select *, Name From C",
                            "Select Name, From C",
                            "Select * From C Where",
                            "Select * From C Where P",
                            "Select * From C Where P =",
                            "Select * From C Where = 1",
                            "Select * From C Where P = 'x",
                            "Select * From C Where P = 'x\\",
                            "Select * From C Where (P = 1",
                            "Select * From C Where P = 1)",
                            "Select * From C Where P is",
                            "Select * From C Where P is not",
                            "Select * From C Where P is 1",
                            "Select * From C Where P = Q",
                            "Select * From C Where 1 = 2",
                            "Select * From C Where P == 1",
                            "Select * From C Where P ! 1",
                            "Select * From C extra",
                            "Select * From C Where P = 1 P = 2",
                            "Select * From C Where P = 1 and",
                            "Select * From C;",
                            "Select * From 1C",
                            "Select * From C Where P = 12abc",
                            "Select * From C Where P = -",
                            "Select * From Select",
                            "Select * From C Where not",
                            "Select * From C Where P = 1e999",
                            "Select * From クラス",
                            "Select * From C Where P = ..5"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(codeOf(QString::fromUtf8(bad)), Error::Code::InvalidQuery);
    }
    // Nesting beyond any real query is refused, not recursed into.
    EXPECT_EQ(codeOf(QStringLiteral("select * from C where ") + QString(100000, QLatin1Char('(')) +
                     QStringLiteral("P=1")),
              Error::Code::InvalidQuery);
    EXPECT_EQ(codeOf(QStringLiteral("select * from C where ") +
                     QStringLiteral("not ").repeated(5000) + QStringLiteral("P=1")),
              Error::Code::InvalidQuery);
    QString longChain = QStringLiteral("select * from C where P=1");
    for (int i = 0; i < 5000; ++i) longChain += QStringLiteral(" or P=1");
    EXPECT_EQ(codeOf(longChain), Error::Code::InvalidQuery);
}

TEST(Wql, TruncationsAndMutationsNeverCrash) {
    QRandomGenerator rng(20240401);
    const QString alphabet = QStringLiteral("'\"()=<>!*, \\-.0aZ_\t");
    for (const QString& text : windowQueries) {
        for (qsizetype n = 0; n <= text.size(); ++n) {
            try {
                wql::parse(text.left(n));
            } catch (const Error& e) {
                EXPECT_EQ(e.code(), Error::Code::InvalidQuery);
            }
        }
        for (int round = 0; round < 300; ++round) {
            QString mutated = text;
            const int edits = 1 + rng.bounded(3);
            for (int k = 0; k < edits; ++k) {
                const qsizetype at = rng.bounded(int(mutated.size()) + 1);
                const QChar c = alphabet[rng.bounded(int(alphabet.size()))];
                if (rng.bounded(2) == 0 && at < mutated.size())
                    mutated[at] = c;
                else
                    mutated.insert(at, c);
            }
            try {
                const wql::Query q = wql::parse(mutated);
                if (q.where) wql::matches(*q.where, adapter(true, Value("x")));
            } catch (const Error& e) {
                EXPECT_EQ(e.code(), Error::Code::InvalidQuery) << mutated.toStdString();
            }
        }
    }
}

TEST(Wql, QuoteMakesAnyTextALiteralThatReadsBack) {
    const QStringList texts = {QString(),
                               QStringLiteral("192.168.0.10"),
                               QStringLiteral("' or Address <> '"),
                               QStringLiteral("a\\"),
                               QStringLiteral("\\' or 1=1 --"),
                               QStringLiteral("\"double\" and 'single'"),
                               QStringLiteral("日本語\tタブ")};
    for (const QString& t : texts) {
        SCOPED_TRACE(t.toStdString());
        const wql::Query q = wql::parse(
            QStringLiteral("select * from Win32_PingStatus where address = ") + wql::quote(t));
        ASSERT_TRUE(q.where);
        EXPECT_EQ(q.where->kind, wql::Expr::Kind::Compare);
        EXPECT_EQ(q.where->literal, Value(t));
        EXPECT_EQ(wql::requiredValue(q, QStringLiteral("Address")), Value(t));
    }
    EXPECT_EQ(wql::quote(QStringLiteral("a'b\\c")), QStringLiteral("'a\\'b\\\\c'"));
}

TEST(Wql, RequiredValueAndMentionedProperties) {
    const wql::Query ping =
        wql::parse(QStringLiteral("select * from Win32_PingStatus where address = '10.1.1.1'"));
    EXPECT_EQ(wql::requiredValue(ping, QStringLiteral("Address")), Value("10.1.1.1"));
    EXPECT_FALSE(wql::requiredValue(ping, QStringLiteral("Timeout")));

    const wql::Query both =
        wql::parse(QStringLiteral("select * from Win32_PingStatus where Timeout = 500 and ('h' = "
                                  "Address and BufferSize > 1)"));
    EXPECT_EQ(wql::requiredValue(both, QStringLiteral("address")), Value("h"));
    EXPECT_EQ(wql::requiredValue(both, QStringLiteral("Timeout")), Value(std::int64_t(500)));
    EXPECT_FALSE(wql::requiredValue(both, QStringLiteral("BufferSize")));  // not an equality

    // An alternative requires nothing.
    const wql::Query either = wql::parse(
        QStringLiteral("select * from Win32_PingStatus where Address = 'a' or Address = 'b'"));
    EXPECT_FALSE(wql::requiredValue(either, QStringLiteral("Address")));

    const wql::Query q =
        wql::parse(QStringLiteral("select Caption, caption, Version from Win32_Product where NOT "
                                  "Name is null and version > '1'"));
    EXPECT_EQ(wql::mentionedProperties(q), (QStringList{"Caption", "Version", "Name"}));
    EXPECT_TRUE(wql::mentionedProperties(wql::parse(QStringLiteral("select * from C"))).isEmpty());
}
