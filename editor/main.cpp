#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow w;
    w.setWindowTitle(QStringLiteral("Velmorandquist - 0.98 Beta2"));
    w.resize(531, 408);
    w.show();
    return app.exec();
}
