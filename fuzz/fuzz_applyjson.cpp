// Reads arbitrary bytes as the JSON that `quilmora-config apply` takes: either a reasoned
// failure or a configuration whose texts hold no line break where the file cannot keep one.
#include "cli/ConfigJsonReader.h"
#include "config/ConfigDocument.h"
#include "config/TextCodec.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const TextCodec codec("UTF-8");
    static const ConfigDocument current;
    const QByteArray json(reinterpret_cast<const char *>(data), qsizetype(size));
    ConfigDocument out;
    QString error;
    if (!readConfigJson(json, current, codec, &out, &error)) {
        if (error.isEmpty())
            std::abort();
        return 0;
    }
    for (const auto &u : out.users) {
        if (u->Name.contains('\n') || u->Name.contains('\r'))
            std::abort();
    }
    for (const auto &g : out.groups) {
        for (const QByteArray &n : g->Users) {
            if (n.contains('\n') || n.contains('\r'))
                std::abort();
        }
    }
    (void)out.render();
    return 0;
}
