// The test runner: a GUI application object on the offscreen platform, as
// lxDocx_init makes it for a host, then every test.
#include <lorvexdocx.h>

#include <QLoggingCategory>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Debug traces only on request (QT_LOGGING_RULES="*.debug=true").
    if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    lxDocx_init();
    return RUN_ALL_TESTS();
}
