#pragma once

// The program's windows, created once at start-up in a fixed order and kept
// until the end.

#include <QStringList>

#include <memory>

class TForm1;
class TForm2;
class TForm3;

class Program
{
public:
    // arguments: the command line without the program's name.
    explicit Program(const QStringList &arguments);
    ~Program();

    TForm1 *Form1() const { return m_form1.get(); }
    TForm2 *Form2() const { return m_form2.get(); }
    TForm3 *Form3() const { return m_form3.get(); }

private:
    std::unique_ptr<TForm1> m_form1;
    std::unique_ptr<TForm2> m_form2;
    std::unique_ptr<TForm3> m_form3;
};

// The program entry: runs until the main window closes and returns 0.
int runProgram(int argc, char *argv[]);
