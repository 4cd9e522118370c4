#include "mail/windows/composerwindow.h"

#include "assets/assets.h"
#include "gui/form.h"
#include "gui/helpwindow.h"
#include "gui/modal.h"
#include "gui/printing.h"
#include "gui/richedit.h"
#include "mail/windows/certificatewindow.h"
#include "mail/windows/keyring.h"
#include "mail/windows/passwordwindow.h"
#include "mail/windows/preferenceswindow.h"
#include "mail/windows/progresswindow.h"
#include "settings/values.h"
#include "widgets/flatbutton.h"

#include <QCheckBox>
#include <QEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QStatusBar>
#include <QVBoxLayout>

using namespace gui;

namespace mail::windows {

namespace {

// One address per line, as typed; the line end after the last adds none.
QStringList lines(const QString &text)
{
    if (text.isEmpty())
        return {};
    QStringList result = text.split(QLatin1Char('\n'));
    if (result.last().isEmpty())
        result.removeLast();
    return result;
}

QPlainTextEdit *addressField(QWidget *parent, const char *name)
{
    auto *field = new QPlainTextEdit(parent);
    field->setObjectName(QString::fromLatin1(name));
    field->setTabChangesFocus(true);
    field->setLineWrapMode(QPlainTextEdit::NoWrap);
    field->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    field->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    field->setFixedHeight(field->fontMetrics().height() + 10);
    return field;
}

// The name a trusted certificate is kept under: "host:port", an IPv6
// address in brackets.
QString serverKey(const SmtpClient &client)
{
    const QString host = client.host().toLower();
    return (host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host)
        + QLatin1Char(':') + QString::number(client.port());
}

// Runs when the object goes, however the scope is left.
template<typename F> class Finally
{
public:
    explicit Finally(F f)
        : m_f(std::move(f))
    { }
    ~Finally() { m_f(); }
    Finally(const Finally &) = delete;
    Finally &operator=(const Finally &) = delete;

private:
    F m_f;
};

} // namespace

ComposerWindow::ComposerWindow(const RichEdit &mainEditor, ComposerPeers &peers, QWidget *parent)
    : QDialog(parent,
        Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
            | Qt::WindowCloseButtonHint)
    , m_mainEditor(mainEditor)
    , m_peers(peers)
{
    setObjectName(QStringLiteral("TForm9"));
    setWindowTitle(QStringLiteral("Quick Mail"));
    setModal(true);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto *bar = new QMenuBar(this);
    layout->setMenuBar(bar);
    const auto item = [this](QMenu *menu, const QString &caption, auto command) {
        menu->addAction(
            caption, this, [this, command] { guarded([this, command] { command(); }); });
    };
    QMenu *file = bar->addMenu(QStringLiteral("&File"));
    item(file, QStringLiteral("&Print"), [this] { print(); });
    file->addSeparator();
    item(file, QStringLiteral("&Exit"), [this] { closeComposer(); });
    QMenu *edit = bar->addMenu(QStringLiteral("&Edit"));
    m_contextMenu = new QMenu(this);
    m_contextMenu->setObjectName(QStringLiteral("PopupMenu1"));
    for (QMenu *menu : {edit, m_contextMenu}) {
        item(menu, QStringLiteral("C&ut"), [this] { m_body->cut(); });
        item(menu, QStringLiteral("&Copy"), [this] { m_body->copy(); });
        item(menu, QStringLiteral("&Paste"), [this] { m_body->paste(); });
        menu->addSeparator();
        item(menu, QStringLiteral("Clear &All"), [this] { clearAll(); });
    }
    QMenu *mailMenu = bar->addMenu(QStringLiteral("&Mail"));
    item(mailMenu, QStringLiteral("&Send Mail"), [this] { send(); });
    item(mailMenu, QStringLiteral("Mail &Preferances..."),
        [this] { m_peers.mailPreferences().showModal(); });
    QMenu *help = bar->addMenu(QStringLiteral("&Help"));
    // The composer's help is the program's help page, in its own window.
    item(help, QStringLiteral("&Help..."), [] { showHelp(); });
    help->addSeparator();
    item(help, QStringLiteral("&About..."), [this] { modal().execModal(m_peers.aboutWindow()); });

    // The header: the fields with their labels, Send and Close beside them.
    // Raised inside a lowered edge, as the program's panels are, and as wide
    // as the window.
    auto *header = new QFrame(this);
    header->setObjectName(QStringLiteral("Panel1"));
    header->setFrameStyle(QFrame::Panel | QFrame::Raised);
    header->setLineWidth(1);
    header->setFixedHeight(113);
    auto *grid = new QGridLayout(header);
    grid->setContentsMargins(8, 6, 8, 6);
    grid->setVerticalSpacing(3);
    m_to = addressField(header, "eTo");
    m_cc = addressField(header, "eCC");
    m_from = new QLineEdit(header);
    m_from->setObjectName(QStringLiteral("eFrom"));
    m_subject = new QLineEdit(header);
    m_subject->setObjectName(QStringLiteral("eSubject"));
    const QString captions[4] = {QStringLiteral("To:"), QStringLiteral("CC:"),
        QStringLiteral("From:"), QStringLiteral("Subject:")};
    QWidget *fields[4] = {m_to, m_cc, m_from, m_subject};
    for (int row = 0; row < 4; ++row) {
        auto *label = new QLabel(captions[row], header);
        label->setBuddy(fields[row]);
        grid->addWidget(label, row, 0);
        grid->addWidget(fields[row], row, 1);
    }
    m_sendButton = new widgets::OpaqueFlatButton(header);
    m_sendButton->setObjectName(QStringLiteral("CoolButton1"));
    m_sendButton->setText(QStringLiteral("&Send"));
    const QPixmap sendGlyph =
        assets::picture(QStringLiteral("toolbar/quickmail"), QSize(20, 20), devicePixelRatioF());
    m_sendButton->setGlyph(sendGlyph);
    m_sendButton->setNoFocusGlyph(assets::greyForm(sendGlyph));
    m_closeButton = new widgets::OpaqueFlatButton(header);
    m_closeButton->setObjectName(QStringLiteral("CoolButton2"));
    m_closeButton->setText(QStringLiteral("&Close"));
    const QPixmap closeGlyph =
        assets::picture(QStringLiteral("glyphs/cancel"), QSize(16, 16), devicePixelRatioF());
    m_closeButton->setGlyph(closeGlyph);
    m_closeButton->setNoFocusGlyph(assets::greyForm(closeGlyph));
    for (widgets::OpaqueFlatButton *button : {m_sendButton, m_closeButton})
        button->setFixedSize(qMax(50, button->sizeHint().width()), 40);
    m_attach = new QCheckBox(QStringLiteral("&Attach File"), header);
    m_attach->setObjectName(QStringLiteral("cbSendFile"));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_sendButton);
    buttons->addWidget(m_closeButton);
    grid->addLayout(buttons, 0, 2, 2, 1, Qt::AlignTop);
    grid->addWidget(m_attach, 3, 2);
    grid->setColumnStretch(1, 1);
    layout->addWidget(header);

    m_body = new RichEdit(this);
    m_body->setObjectName(QStringLiteral("RichEdit1"));
    m_body->setAccessibleName(QStringLiteral("Message"));
    m_body->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_body, &QWidget::customContextMenuRequested, this,
        [this](const QPoint &at) { m_contextMenu->popup(m_body->viewport()->mapToGlobal(at)); });
    layout->addWidget(m_body, 1);
    m_attachment = new RichEdit(this);
    m_attachment->setObjectName(QStringLiteral("RichEdit2"));
    m_attachment->hide();
    m_status = new QStatusBar(this);
    m_status->setObjectName(QStringLiteral("SMTPStatus"));
    m_status->setSizeGripEnabled(true);
    layout->addWidget(m_status);

    m_attachDialog.mode = FileRequest::Mode::Open;
    m_attachDialog.title = QStringLiteral("Attach File:");
    m_attachDialog.filter = QStringLiteral("Velmorandquist Encrypted File (*.vlq)|*.vlq|Text File "
                                           "(*.txt)|*.txt|All Files (*.*)|*.*");

    connect(m_sendButton, &QAbstractButton::clicked, this, &ComposerWindow::send);
    connect(m_closeButton, &QAbstractButton::clicked, this, &ComposerWindow::closeComposer);
    connect(m_attach, &QCheckBox::toggled, this, [this] { guarded([this] { attachClicked(); }); });

    // As large as the main window.
    resize(m_mainEditor.window()->size());
}

ComposerWindow::~ComposerWindow() = default;

int ComposerWindow::showModal()
{
    return modal().execModal(*this);
}

bool ComposerWindow::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate && becomesActiveForm(this) && !m_sending)
        reinitialise();
    return QDialog::event(event);
}

void ComposerWindow::hideEvent(QHideEvent *event)
{
    formHidden(this);
    QDialog::hideEvent(event);
}

void ComposerWindow::fillFrom()
{
    m_from->setText(m_peers.mailPreferences().userName() + QStringLiteral(" <")
        + m_peers.mailPreferences().address() + QLatin1Char('>'));
}

void ComposerWindow::clearHeader()
{
    fillFrom();
    setStatus(QString());
    m_to->clear();
    m_subject->clear();
    m_cc->clear();
    m_to->setFocus();
}

void ComposerWindow::setTimeOuts(const mail::SmtpClient::TimeOuts &timeOuts)
{
    m_client.setTimeOuts(timeOuts);
}

void ComposerWindow::reinitialise()
{
    // The editor's own characters: an 8-bit copy would turn every letter
    // outside Windows-1252 into "?".
    m_body->setCharacters(m_mainEditor.characters());
    clearHeader();
    m_attach->setChecked(false);
    forgetAttachment();
}

void ComposerWindow::clearAll()
{
    clearHeader();
    m_body->setText({});
    m_attach->setChecked(false);
    forgetAttachment();
}

void ComposerWindow::forgetAttachment()
{
    if (m_status->currentMessage() == m_attached + QStringLiteral(" is attached."))
        setStatus(QString());
    m_attached.clear();
    m_attachment->clear();
    m_client.setAttachments({});
    m_attach->setChecked(false);
}

void ComposerWindow::setStatus(const QString &text)
{
    m_status->showMessage(text);
}

void ComposerWindow::attachClicked()
{
    // Unticked, or no file chosen: nothing goes with the mail, and the box
    // and the status line say so.
    if (!m_attach->isChecked() || !m_attachDialog.execute()) {
        forgetAttachment();
        return;
    }
    const QString name = QFileInfo(m_attachDialog.fileName).absoluteFilePath();
    try {
        m_attachment->loadFromFile(name);
    } catch (...) {
        forgetAttachment();
        throw;
    }
    m_attached = name;
    setStatus(name + QStringLiteral(" is attached."));
}

void ComposerWindow::print()
{
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    if (!modal().printDialog(*m_printer, QString()))
        return;
    printDocument(*m_body, *m_printer);
}

void ComposerWindow::cancelSend()
{
    m_cancelled = true;
    keyring().cancel();
    m_client.abort();
}

void ComposerWindow::closeComposer()
{
    cancelSend();
    done(QDialog::Accepted);
}

void ComposerWindow::reject()
{
    // A send left running behind a closed window would hold its modal loop,
    // and the composer could not open again.
    if (m_sending)
        cancelSend();
    QDialog::reject();
}

void ComposerWindow::send()
{
    // One send at a time: a second would meet a client that is busy.
    if (m_sending)
        return;
    bool refused = false;
    if (m_peers.mailPreferences().server().isEmpty()) {
        messageBox(QStringLiteral("No mail server is specified under mail preferances"),
            QStringLiteral("ERROR"), Icon::Error);
        refused = true;
    }
    // Without one the mail would go out as a bounce, from nobody.
    if (m_peers.mailPreferences().address().isEmpty()) {
        messageBox(QStringLiteral("No e-mail address is specified under mail preferances"),
            QStringLiteral("ERROR"), Icon::Error);
        refused = true;
    }
    if (m_to->toPlainText().isEmpty()) {
        messageBox(
            QStringLiteral("Please enter a send to address"), QStringLiteral("ERROR"), Icon::Error);
        refused = true;
    }
    if (refused)
        return;
    if (m_subject->text().isEmpty()
        && messageBox(QStringLiteral("There is no subject line for this message.  Send anyways?"),
               QStringLiteral("WARNING"), Icon::Warning, Buttons::YesNo)
            != Answer::Yes)
        return;

    // From here on Send is taken: a close cancels what follows.
    m_sending = true;
    m_cancelled = false;
    m_sendButton->setEnabled(false);
    QString password;
    const Finally done([this, &password] {
        password.fill(QChar(0));
        m_sending = false;
        m_sendButton->setEnabled(true);
    });
    const QString logOn = m_peers.mailPreferences().logOnName();
    const QString keyringKey = logOn + QLatin1Char('@') + m_peers.mailPreferences().server();
    if (!logOn.isEmpty() && !askPassword(keyringKey, password))
        return;
    // What is sent is taken now: a second try must not find the fields
    // emptied by the first.
    const Outgoing mail {lines(m_to->toPlainText()), lines(m_cc->toPlainText()), m_subject->text(),
        m_body->characters().split(QStringLiteral("\r\n")), m_attached};
    const auto failed = [this] {
        forgetAttachment();
        if (isVisible())
            reinitialise();
    };
    QString pinned;
    guarded([&] {
        for (;;) {
            try {
                runSend(mail, password, pinned);
                return;
            } catch (const CertificateError &e) {
                // Trusted now: the same send again, that certificate let through.
                if (pinned.isEmpty() && !m_cancelled && isVisible() && trustCertificate(e)) {
                    pinned = Socket::fingerprintOf(e.certificate());
                    continue;
                }
                failed();
                throw;
            } catch (const SmtpError &e) {
                // A refused password is not kept: the next send asks again.
                if (!logOn.isEmpty() && QByteArray(e.what()).startsWith("Authentication failed"))
                    keyring().remove(keyringKey);
                failed();
                throw;
            } catch (...) {
                failed();
                throw;
            }
        }
    });
}

bool ComposerWindow::askPassword(const QString &key, QString &password)
{
    // A server that wants a log-on: the password the user let the keyring
    // keep, else asked now.
    const Keyring::Lookup kept = keyring().read(key);
    if (m_cancelled)
        return false;
    if (kept.password) {
        password = *kept.password;
        return true;
    }
    const QString why = !m_keyringRefused.isEmpty() ? m_keyringRefused
        : kept.answered                             ? QString()
        : kept.whyNot.isEmpty()                     ? QStringLiteral("no keyring answered")
                                                    : kept.whyNot;
    PasswordWindow ask(
        QStringLiteral("Password for %1 at %2:")
            .arg(m_peers.mailPreferences().logOnName(), m_peers.mailPreferences().server()),
        why, this);
    if (modal().execModal(ask) != QDialog::Accepted || m_cancelled)
        return false;
    password = ask.password();
    if (ask.remember()) {
        const QString failure = keyring().write(key, password);
        if (!failure.isEmpty()) {
            // Said once; from then on the box says why it is off.
            m_keyringRefused = QStringLiteral("the keyring did not take it (%1)").arg(failure);
            messageBox(QStringLiteral("The password could not be kept in the keyring: %1. It will "
                                      "be asked for at every send.")
                           .arg(failure),
                QStringLiteral("WARNING"), Icon::Warning);
        }
    }
    return true;
}

bool ComposerWindow::trustCertificate(const CertificateError &error)
{
    const QString server = serverKey(m_client);
    CertificateWindow window(
        error.certificate(), error.reasons(), server, error.trustedFingerprint(), this);
    // Never trusted without the user's yes; a changed one is only shown.
    if (modal().execModal(window) != QDialog::Accepted || !error.trustedFingerprint().isEmpty())
        return false;
    // Trusted for this send even if the settings cannot keep it; the error
    // box says why they could not.
    guarded([&] {
        settings::writeTrustedCertificate(server, Socket::fingerprintOf(error.certificate()));
    });
    return true;
}

void ComposerWindow::tellRefused(const QList<RefusedRecipient> &refused)
{
    QStringList lines;
    QStringList addresses;
    for (const RefusedRecipient &r : refused) {
        lines += r.describe();
        addresses += r.address;
    }
    setStatus(QStringLiteral("Not sent to %1").arg(addresses.join(QStringLiteral(", "))));
    messageBox(QStringLiteral("The message was not sent to:\n\n") + lines.join(QLatin1Char('\n')),
        QStringLiteral("WARNING"), Icon::Warning);
}

void ComposerWindow::runSend(const Outgoing &mail, const QString &password, const QString &pinned)
{
    const auto forget = [this] {
        m_client.setCredentials(QString(), QString());
        m_client.setFromAddress(QString());
        m_client.setFromName(QString());
        m_client.setSubject(QString());
        m_client.setToAddress({});
        m_client.setToCarbonCopy({});
        m_client.setAttachments({});
    };
    PreferencesWindow &preferences = m_peers.mailPreferences();
    m_peers.progressWindow().start();
    setStatus(QStringLiteral("Connecting to mail server"));
    QList<RefusedRecipient> refused;
    try {
        {
            BusyCursor busy;
            m_client.setSecurity(preferences.security());
            m_client.setServer(preferences.server().left(255));
            const QString server = serverKey(m_client);
            m_client.setPinnedCertificate(
                pinned.isEmpty() ? settings::readTrustedCertificate(server) : pinned);
            setStatus(QStringLiteral("Connecting to mail server"));
            m_client.setCredentials(preferences.logOnName(), password);
            m_client.connectToHost();
            setStatus(QStringLiteral("Connected to mail server"));
            m_client.setLocalProgram(QStringLiteral("Velmorandquist Quick Mail v.0.98 beta"));
            m_client.setFromAddress(preferences.address());
            m_client.setFromName(preferences.userName());
            m_client.setSubject(mail.subject);
            m_client.setBody(mail.body);
            m_client.setToAddress(mail.to);
            m_client.setToCarbonCopy(mail.cc);
            m_client.setAttachments(
                mail.attached.isEmpty() ? QStringList() : QStringList {mail.attached});
            setStatus(QStringLiteral("Sending Mail..."));
            m_client.sendMail();
            refused = m_client.refusedRecipients();
            setStatus(QString());
            m_peers.progressWindow().stop();
        } // the normal cursor is back before any box
        // Back from the progress window, as its closing hands the activation back.
        reinitialise();
        messageBox(QStringLiteral("Message Sent"), applicationTitle(), Icon::None);
        if (!refused.isEmpty())
            tellRefused(refused);
        m_client.disconnectFromHost();
    } catch (...) {
        m_peers.progressWindow().stop();
        forget();
        throw;
    }
    forget();
    m_client.setBody({});
    m_body->setText({});
}

} // namespace mail::windows
