// Connection strings and data-link files, any text: a string that resolves
// formats back into one that resolves to the same settings. With the first
// byte odd, the string names a data-link file that holds the text after the
// first line feed.
#include <fstream>

#include "database/Connection.h"
#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tovanel;
    static const std::string file = [] {
        const std::string dir = fuzz::ScratchFolder();
        return dir + "/tovanel.dsn";
    }();
    fuzz::FuzzInput input(data, size);
    const bool dataLink = input.TakeBool();
    std::string text = input.Rest();
    if (dataLink) {
        const size_t feed = text.find('\n');
        std::ofstream(file, std::ios::binary | std::ios::trunc)
            << (feed == std::string::npos ? std::string() : text.substr(feed + 1));
        text = "FILE NAME=" + file + ";" + text.substr(0, feed);
    }
    ConnectionSettings settings;
    QString error;
    if (!ResolveConnectionString(QString::fromUtf8(text.data(), qsizetype(text.size())), settings, error)) {
        FUZZ_CHECK(!error.isEmpty());
        return 0;
    }
    ConnectionSettings again;
    const QString formatted = FormatConnectionString(settings);
    FUZZ_CHECK(ResolveConnectionString(formatted, again, error));
    FUZZ_CHECK(again.engine == settings.engine);
    FUZZ_CHECK(again.database == settings.database);
    FUZZ_CHECK(again.host == settings.host);
    FUZZ_CHECK(again.port == settings.port);
    FUZZ_CHECK(again.user == settings.user);
    FUZZ_CHECK(again.password == settings.password);
    FUZZ_CHECK(again.schema == settings.schema);
    return 0;
}
