// The four Change buttons of the password fields. Each asks for the new password twice
// through the one entry shared with the wizard and the command line, and writes the result
// back into its own field; a different content is an edit of the page like any other.
#include "config/PasswordEntry.h"
#include "widgets/MaskedBytesEdit.h"
#include "main/TMainForm.h"

#include <QPushButton>

void TMainForm::connectPasswordButtons()
{
    connect(butnChangeAdminPass, &QPushButton::clicked, this, [this]() { butnChangeAdminPassClick(); });
    connect(butnChangeSMTPPass, &QPushButton::clicked, this, [this]() { butnChangeSMTPPassClick(); });
    connect(butnChangeIncomingPass, &QPushButton::clicked, this, [this]() { butnChangeIncomingPassClick(); });
    connect(butnChangeUserPass, &QPushButton::clicked, this, [this]() { butnChangeUserPassClick(); });
}

void TMainForm::changePassword(MaskedBytesEdit *field, bool digest)
{
    // The field reports a change only when its bytes differ, so an unchanged password is
    // no edit.
    field->setBytes(AskNewPassword(*m_prompts, field->bytes(), digest, m_codec));
}

void TMainForm::butnChangeAdminPassClick()
{
    changePassword(editAdminPass, true);
}

void TMainForm::butnChangeSMTPPassClick()
{
    changePassword(editSMTPUserPass, false);
}

void TMainForm::butnChangeIncomingPassClick()
{
    changePassword(editPopPass, false);
}

void TMainForm::butnChangeUserPassClick()
{
    changePassword(editUserPass, true);
}
