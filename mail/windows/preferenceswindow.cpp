#include "mail/windows/preferenceswindow.h"

#include "gui/modal.h"
#include "settings/values.h"
#include "widgets/parts.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <cstdlib>

namespace mail::windows {

namespace {

// A label and its field on a row of the upper panel.
QLineEdit *field(QWidget *panel, int row, const QString &caption, const char *labelName,
    const char *fieldName, const QString &hint)
{
    auto *label = new QLabel(caption, panel);
    label->setObjectName(QString::fromLatin1(labelName));
    label->setGeometry(8, 8 + 24 * row, 118, 17);
    auto *edit = new QLineEdit(panel);
    edit->setObjectName(QString::fromLatin1(fieldName));
    edit->setGeometry(128, 5 + 24 * row, 199, 22);
    edit->setToolTip(hint);
    label->setBuddy(edit);
    return edit;
}

// The choices of "Connection security:" as shown and stored, in order.
const char *const kSecurityNames[] = {"Automatic", "STARTTLS", "TLS", "None"};
const Security kSecurities[] = {
    Security::Automatic, Security::StartTls, Security::Tls, Security::None};

// As the command line of the external program is split: in double quotes,
// a quote doubled, when it holds a blank or a quote.
QString quotedPath(const QString &path)
{
    bool plain = !path.isEmpty();
    for (QChar c : path)
        plain = plain && !c.isSpace() && c != QLatin1Char('"');
    if (plain)
        return path;
    return QLatin1Char('"') + QString(path).replace(QLatin1String("\""), QLatin1String("\"\"\""))
        + QLatin1Char('"');
}

} // namespace

PreferencesWindow::PreferencesWindow(QWidget *parent)
    : Form(QStringLiteral("TForm10"), QStringLiteral("Mail Preferances"), QSize(335, 238), parent)
{
    QFrame *upper = widgets::bevelPanel(this, QRect(0, 0, 335, 128));
    upper->setObjectName(QStringLiteral("Panel1"));
    m_name = field(upper, 0, QStringLiteral("Your Name:"), "Label1", "name",
        QStringLiteral("Enter your name."));
    m_address = field(upper, 1, QStringLiteral("E-Mail Address:"), "Label2", "address",
        QStringLiteral("Enter your e-mail address"));
    m_server = field(upper, 2, QStringLiteral("SMTP (Mail) Server:"), "Label3", "smtp",
        QStringLiteral("Enter a public mail servers SMPT address."));
    m_server->setPlaceholderText(QStringLiteral("mail.example.org:587"));
    m_logOnName = field(upper, 3, QStringLiteral("User name:"), "Label4", "user",
        QStringLiteral("The name you log on to the mail server with; empty when it needs none."));
    auto *securityLabel = new QLabel(QStringLiteral("Connection security:"), upper);
    securityLabel->setObjectName(QStringLiteral("Label5"));
    securityLabel->setGeometry(8, 104, 118, 17);
    m_security = new QComboBox(upper);
    m_security->setObjectName(QStringLiteral("security"));
    m_security->setGeometry(128, 101, 199, 22);
    for (const char *name : kSecurityNames)
        m_security->addItem(QString::fromLatin1(name));
    m_security->setToolTip(QStringLiteral(
        "How the connection to the mail server is encrypted. Automatic: TLS on port 465, else "
        "STARTTLS when the server offers it. STARTTLS and TLS insist on encryption and refuse a "
        "server without it. None: plain text, for a mail server on this computer."));
    securityLabel->setBuddy(m_security);

    QFrame *lower = widgets::bevelPanel(this, QRect(0, 128, 335, 110));
    lower->setObjectName(QStringLiteral("Panel2"));
    const QString captions[3] = {QStringLiteral("Use Quick Mail"),
        QStringLiteral("Use External E-Mail Program"), QStringLiteral("Use MAPI Mail")};
    for (int i = 0; i < 3; ++i) {
        m_modes[i] = new QRadioButton(captions[i], lower);
        m_modes[i]->setObjectName(QStringLiteral("RadioButton%1").arg(i + 1));
        m_modes[i]->setGeometry(8, 6 + 23 * i, 226, 20);
    }
    m_modes[0]->setChecked(true);
    m_program = new QLineEdit(lower);
    m_program->setObjectName(QStringLiteral("Edit4"));
    m_program->setAccessibleName(QStringLiteral("E-mail program"));
    m_program->setGeometry(8, 79, 226, 22);
    auto *browseButton = new QPushButton(QStringLiteral("Browse..."), lower);
    browseButton->setObjectName(QStringLiteral("Button1"));
    browseButton->setGeometry(242, 78, 85, 25);
    browseButton->setAutoDefault(false);
    auto *okButton = new QPushButton(QStringLiteral("OK"), lower);
    okButton->setObjectName(QStringLiteral("Button2"));
    okButton->setGeometry(242, 6, 85, 25);
    okButton->setAutoDefault(false);
    setProgramEditable(false);

    // Checking a way by hand or by loading: the program's field is for the
    // external program only.
    connect(m_modes[0], &QRadioButton::clicked, this, [this] { setProgramEditable(false); });
    connect(m_modes[1], &QRadioButton::clicked, this, [this] { setProgramEditable(true); });
    connect(m_modes[2], &QRadioButton::clicked, this, [this] { setProgramEditable(false); });
    connect(browseButton, &QPushButton::clicked, this, &PreferencesWindow::browse);
    connect(okButton, &QPushButton::clicked, this, [this] { gui::guarded([this] { ok(); }); });

    load();
}

void PreferencesWindow::load()
{
    // A value of another type would end start-up for good until the file is
    // mended by hand; it is reported, reads as empty, and the others load.
    QStringList unreadable;
    settings::MailValues values;
    gui::guarded([&] { values = settings::readMailValues(&unreadable); });
    for (const QString &failure : std::as_const(unreadable))
        gui::showError(failure);
    m_address->setText(values.address);
    m_name->setText(values.name);
    m_server->setText(values.server);
    m_program->setText(values.program);
    m_logOnName->setText(values.user);
    // Anything else, or nothing, is Automatic.
    m_security->setCurrentIndex(0);
    for (int i = 0; i < 4; ++i) {
        if (values.security.trimmed().compare(QLatin1String(kSecurityNames[i]), Qt::CaseInsensitive)
            == 0)
            m_security->setCurrentIndex(i);
    }
    m_loadedMode = values.mode;
    // As the C library reads a number: blanks, a sign, digits; else 0.
    const long mode = std::strtol(m_loadedMode.toLatin1().constData(), nullptr, 10);
    if (mode >= 2 && mode <= 3 && !m_modes[mode - 1]->isChecked())
        m_modes[mode - 1]->click();
}

void PreferencesWindow::setProgramEditable(bool editable)
{
    m_program->setReadOnly(!editable);
    QPalette palette = m_program->palette();
    palette.setColor(QPalette::Base,
        editable ? QWidget::palette().color(QPalette::Base)
                 : QWidget::palette().color(QPalette::Button));
    m_program->setPalette(palette);
}

QString PreferencesWindow::userName() const
{
    return m_name->text();
}

QString PreferencesWindow::address() const
{
    return m_address->text();
}

QString PreferencesWindow::server() const
{
    return m_server->text();
}

QString PreferencesWindow::logOnName() const
{
    return m_logOnName->text();
}

Security PreferencesWindow::security() const
{
    return kSecurities[std::clamp(m_security->currentIndex(), 0, 3)];
}

QString PreferencesWindow::programPath() const
{
    return m_program->text();
}

MailMode PreferencesWindow::mode() const
{
    if (m_modes[1]->isChecked())
        return MailMode::ExternalProgram;
    if (m_modes[2]->isChecked())
        return MailMode::SystemMail;
    return MailMode::QuickMail;
}

void PreferencesWindow::browse()
{
    if (mode() != MailMode::ExternalProgram)
        return;
    if (m_openDialog.execute())
        m_program->setText(quotedPath(m_openDialog.fileName));
}

void PreferencesWindow::ok()
{
    const settings::MailValues values {m_address->text(), m_name->text(), m_server->text(),
        m_program->text(), QString::number(int(mode())), m_logOnName->text(),
        m_security->currentText()};
    // A value that cannot be written leaves the window open; the error box
    // says which.
    settings::writeMailValues(values);
    accept();
}

} // namespace mail::windows
