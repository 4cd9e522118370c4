#include "editor/program.h"

#include "cipher/decryptdialog.h"
#include "cipher/encryptdialog.h"
#include "editor/mainwindow.h"
#include "platform/ui.h"

#include <QApplication>

Program::Program(const QStringList &arguments)
{
    platform::setApplicationTitle(QStringLiteral("Velmorandquist"));
    m_form1 = std::make_unique<TForm1>(arguments);
    m_form1->show();
    m_form2 = std::make_unique<TForm2>(m_form1->RichEdit1);
    m_form3 = std::make_unique<TForm3>(m_form1->RichEdit1);
    m_form1->Form2 = m_form2.get();
    m_form1->Form3 = m_form3.get();
}

Program::~Program()
{
    // The dialogs work on the main window's editor: they go first.
    m_form3.reset();
    m_form2.reset();
    m_form1.reset();
}

int runProgram(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    int code = 0;
    if (!platform::guarded([&] {
            Program program(arguments);
            app.exec();
        }))
        code = 0;
    return code;
}
