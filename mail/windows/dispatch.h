#pragma once

// The two ways out of the program that are not its own Quick Mail: the
// desktop's mail program with a new message holding the text, and the
// external mail program the preferences name.

#include <QString>

namespace mail::windows {

// The desktop's mail: xdg-email, found on first use and kept, else whatever
// the desktop opens mailto: links with. The text becomes the body of a new
// message, where the user adds recipients and a subject.
class SystemMail
{
public:
    // An encoded text longer than this goes by the clipboard instead: mail
    // programs and URL handlers cut or refuse longer links.
    static constexpr int kLongestLink = 32000;

    // Nothing visible happens when the desktop has no way to open mail.
    void send(const QString &text);

    // The mailto: link with the text as its body, every character that
    // could be taken for part of the link encoded.
    static QString link(const QString &body);

private:
    QString m_opener;
};

// Starts the command line as it stands, not watched; an empty or wrong one
// starts nothing and says nothing.
void startExternalProgram(const QString &commandLine);

} // namespace mail::windows
