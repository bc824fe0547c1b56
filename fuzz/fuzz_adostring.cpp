// The ADO connection-string parser and writer. Any text that parses writes back to a text that
// parses to the same pairs; and any values put in by the program, whatever they hold, come back
// unchanged under their own keys, with no key added.
#include "platform/ConnectionString.h"

#include "FuzzInput.h"

#include <cstdlib>

namespace {

void check(bool ok) {
    if (!ok)
        std::abort();
}

const char* const kKeys[] = {"Provider",       "Jet OLEDB:Database Password",
                             "Data Source",    "Persist Security Info",
                             "User ID",        "Password",
                             "Initial Catalog"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));

    // 1. The whole input as a connection string.
    const QString text = tv::fuzz::text(bytes);
    if (const auto parsed = tv::AdoConnectionString::parse(text)) {
        const QString written = parsed->toString();
        const auto again = tv::AdoConnectionString::parse(written);
        check(again.has_value());
        check(again->pairs() == parsed->pairs());
        check(again->toString() == written);
    }

    // 2. The input's pieces as values of the program's keys.
    const QList<QByteArray> values = tv::fuzz::pieces(data, size, 7);
    tv::AdoConnectionString built;
    for (qsizetype i = 0; i < values.size(); ++i)
        built.append(QString::fromLatin1(kKeys[i]), tv::fuzz::text(values[i]));
    const auto read = tv::AdoConnectionString::parse(built.toString());
    check(read.has_value());
    check(read->pairs() == built.pairs());
    for (qsizetype i = 0; i < values.size(); ++i)
        check(read->value(QString::fromLatin1(kKeys[i])) == tv::fuzz::text(values[i]));
    return 0;
}
