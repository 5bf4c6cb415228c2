// lxDocx_init watched in a process with no Qt application yet (the suite has one); exits 1 after printing what failed.
//   init_probe fresh      no application yet: lxDocx_init makes one, once; prints "platform NAME"
//   init_probe host-app   the host made a QCoreApplication first; prints "host kept"
#include <lorvexdocx.h>

#include <QCoreApplication>
#include <QGuiApplication>

#include <cstdio>
#include <cstring>

static int failures = 0;

static void check(bool ok, const char *what)
{
    if (!ok && ++failures)
        std::fprintf(stderr, "FAIL %s\n", what);
}

int main(int argc, char **argv)
{
    const bool wasSet = qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
    const QByteArray before = qgetenv("QT_QPA_PLATFORM");
    if (argc > 1 && std::strcmp(argv[1], "host-app") == 0) {
        QCoreApplication app(argc, argv);
        lxDocx_init();
        check(QCoreApplication::instance() == &app, "the host's application was replaced");
        check(!qobject_cast<QGuiApplication *>(QCoreApplication::instance()), "a GUI application appeared");
        check(qEnvironmentVariableIsSet("QT_QPA_PLATFORM") == wasSet && qgetenv("QT_QPA_PLATFORM") == before,
              "QT_QPA_PLATFORM was changed");
        std::printf("host kept\n");
        return failures ? 1 : 0;
    }
    const char *err = lxDocx_error(nullptr);
    check(err && *err == '\0', "lxDocx_error(NULL) before any failure is not \"\"");
    lxDocx_init();
    QCoreApplication *first = QCoreApplication::instance();
    check(qobject_cast<QGuiApplication *>(first) != nullptr, "no GUI application after lxDocx_init");
    lxDocx_init();
    check(QCoreApplication::instance() == first, "a second lxDocx_init made another application");
    const QByteArray expected = before.isEmpty() ? QByteArray("offscreen") : before;
    check(qgetenv("QT_QPA_PLATFORM") == expected, "QT_QPA_PLATFORM holds an unexpected value");
    if (first)
        std::printf("platform %s\n", qPrintable(QGuiApplication::platformName()));
    return failures ? 1 : 0;
}
