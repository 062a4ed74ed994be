#include "LoopbackLineServer.h"

LoopbackLineServer::Script LoopbackLineServer::smtpAccepting(const QByteArray &ehlo, int recipients)
{
    Script s;
    s.send("220 loopback ESMTP\r\n").reply(ehlo).reply("250 reset\r\n").reply("250 sender ok\r\n");
    for (int i = 0; i < recipients; ++i)
        s.reply("250 recipient ok\r\n");
    s.reply("354 go ahead\r\n").data().send("250 queued\r\n");
    return s;
}

LoopbackLineServer::LoopbackLineServer(const QList<Script> &connections, int timeoutMs)
    : LoopbackListener(timeoutMs)
    , m_scripts(connections)
{
    start(m_scripts.size());
}

LoopbackLineServer::~LoopbackLineServer()
{
    finish();
}

bool LoopbackLineServer::wait()
{
    return finish();
}

void LoopbackLineServer::serve(Connection &connection)
{
    for (const Step &step : m_scripts[connection.index()].steps) {
        bool ok = true;
        switch (step.kind) {
        case Step::Line:
            ok = connection.take("\n");
            break;
        case Step::Data:
            // The header block may already be the end: "\r\n.\r\n" right after it.
            ok = connection.take("\r\n.\r\n");
            break;
        case Step::Send:
            ok = connection.send(step.bytes);
            break;
        case Step::Close:
            connection.close();
            return;
        }
        if (!ok)
            return;
    }
}
