#include "main/ConfigPreload.h"

#include "config/SafeFile.h"

ConfigPreload::~ConfigPreload()
{
    wait();
}

void ConfigPreload::start(const QString &path, const TextCodec &codec)
{
    wait();
    m_path = path;
    m_result = std::make_unique<Result>();
    m_result->doc.linkedFileMode = LinkedFiles::Mode::Inside;
    // The thread has the result and its own copy of the codec (a codec keeps converter
    // state) to itself until take() joins it.
    m_thread = std::thread([result = m_result.get(), path, codec]() {
        QString error;
        result->ok = result->doc.load(path, codec, &error);
    });
}

void ConfigPreload::wait()
{
    if (m_thread.joinable())
        m_thread.join();
}

std::optional<ConfigDocument> ConfigPreload::take(const QString &path)
{
    wait();
    std::unique_ptr<Result> result = std::move(m_result);
    if (!result || !result->ok || path != m_path || !SafeFile::unchangedSince(path, result->doc.fingerprint))
        return std::nullopt;
    return std::move(result->doc);
}
