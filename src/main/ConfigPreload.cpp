#include "main/ConfigPreload.h"

#include "config/SafeFile.h"
#include "main/NavTree.h"

ConfigPreload::Loaded::~Loaded()
{
    qDeleteAll(popNodes);
    qDeleteAll(groupNodes);
    qDeleteAll(userNodes);
}

ConfigPreload::~ConfigPreload()
{
    wait();
}

void ConfigPreload::start(const QString &path, const TextCodec &codec, const QList<QIcon> &icons)
{
    wait();
    m_path = path;
    m_icons = icons;
    m_ok = false;
    m_result = std::make_unique<Loaded>();
    m_result->doc.linkedFileMode = LinkedFiles::Mode::Inside;
    // The thread has the result, the flag and its own copy of the codec (a codec keeps
    // converter state) to itself until wait() joins it. The icons are only read there (a
    // copy of an icon takes a reference, no more); they stay here, in the window's thread.
    m_thread = std::thread([this, result = m_result.get(), path, codec]() {
        QString error;
        if (!result->doc.load(path, codec, &error))
            return;
        const auto icon = [this](int index) { return m_icons.value(index); };
        result->popNodes = NavNode::makeItemNodes(result->doc.pops, codec, icon(TPop::ImageIndex));
        result->groupNodes = NavNode::makeItemNodes(result->doc.groups, codec, icon(TGroup::ImageIndex));
        result->userNodes = NavNode::makeItemNodes(result->doc.users, codec, icon(TUser::ImageIndex));
        m_ok = true;
    });
}

void ConfigPreload::wait()
{
    if (m_thread.joinable())
        m_thread.join();
}

std::unique_ptr<ConfigPreload::Loaded> ConfigPreload::take(const QString &path)
{
    wait();
    std::unique_ptr<Loaded> result = std::move(m_result);
    if (!result || !m_ok || path != m_path || !SafeFile::unchangedSince(path, result->doc.fingerprint))
        return nullptr;
    return result;
}
