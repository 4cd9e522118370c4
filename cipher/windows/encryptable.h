#pragma once

// What the encrypt and decrypt dialogs work on: the editor's document, which
// asks the encryption service and replaces its own text. The dialogs only
// collect the password and the level, and show what comes back.

#include "cipher/service.h"

#include <QString>

namespace cipher::windows {

class Encryptable
{
public:
    virtual ~Encryptable() = default;
    // The whole text becomes one block at the level (1 to 4).
    virtual service::Result encrypt(
        int level, const QString &password, const QString &confirmation) = 0;
    // The text's block becomes its plain text, the text around it kept.
    virtual service::Result decrypt(const QString &password) = 0;
};

// Shows each thing the result tells in its own box, in order.
void tell(const service::Result &result);

} // namespace cipher::windows
