#pragma once

#include <QByteArray>

class Prompts;
class TextCodec;

// Asks for a new password twice through the prompts and returns the new content of a
// password field: the password's 16-byte digest when `digest` is set (administrator and
// users), else its own bytes (SMTP login, mailboxes), encoded with the configuration's
// character set. Cancelling either prompt, an empty first entry or two entries that
// differ (shown as an error) leave `current` as the result. The editor's Change buttons,
// the setup wizard and `quilmora-config passwd` all ask through this one function.
QByteArray AskNewPassword(Prompts &prompts, const QByteArray &current, bool digest,
                          const TextCodec &codec);
