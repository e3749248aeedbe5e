#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream(stderr) << "usage: norlix COMMAND ...\n";
    return 2;
}
