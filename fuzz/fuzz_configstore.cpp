// Parses arbitrary bytes as a configuration file and loads the document from it.
#include "config/ConfigBytes.h"
#include "config/ConfigDocument.h"
#include "config/ConfigStore.h"
#include "config/TextCodec.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const ConfigStore store = ConfigStore::fromBytes(bytes);
    for (const QByteArray &name : store.sectionNames()) {
        if (!store.value(name, "Name") && store.readString(name, "Name") != QByteArray())
            std::abort();
    }
    // The bytes kept up to where a parse up to SERVER stops, found as they arrive in two
    // pieces, parse as that parse does.
    SectionEndFinder finder("SERVER");
    finder.scan(QByteArrayView(bytes).first(qsizetype(size / 2)), false);
    const qsizetype end = finder.scan(bytes, true);
    const ConfigStore until = ConfigStore::fromBytesUntil(QByteArray(bytes), "SERVER");
    const ConfigStore head = ConfigStore::fromBytes(end < 0 ? bytes : bytes.first(end));
    if (head.sectionNames() != until.sectionNames())
        std::abort();
    for (const char *key : {"Name", "Port", "Version"}) {
        if (head.value("SERVER", key) != until.value("SERVER", key))
            std::abort();
    }
    // A section's keys read again from its lines are the keys a text holding a NUL of its
    // own keeps as parsed (the same text after a line of a NUL).
    if (!bytes.contains('\0')) {
        const ConfigStore kept = ConfigStore::fromBytes(QByteArray("\0\n", 2) + bytes);
        if (kept.sectionNames() != store.sectionNames())
            std::abort();
        std::vector<ConfigStore::KeyValue> a, b;
        for (qsizetype i = 0; i < store.sectionCount(); ++i) {
            store.keys(i, a);
            kept.keys(i, b);
            if (a.size() != b.size())
                std::abort();
            for (size_t k = 0; k < a.size(); ++k) {
                if (a[k].key != b[k].key || a[k].value != b[k].value || a[k].value.contains('\0'))
                    std::abort();
            }
        }
    }
    static const TextCodec codec;
    ConfigDocument doc;
    QString error;
    if (doc.loadFromStore(store, codec, &error, QLocale::c())) {
        // Whatever loaded saves, and the saved file loads back to the same file.
        const QByteArray saved = doc.render();
        ConfigDocument again;
        if (!again.loadFromStore(ConfigStore::fromBytes(saved), codec, &error, QLocale::c()))
            std::abort();
        if (again.render() != saved)
            std::abort();
        // A file that passed the check before parsing saves as one that passes it again.
        QByteArray checked = bytes;
        if (ConfigBytes::prepare(checked, QString(), nullptr) && !ConfigBytes::isConfiguration(saved))
            std::abort();
    }
    return 0;
}
