// The test runner: a GUI application object on the offscreen platform, as lxDocx_init makes it for a host.
#include <lorvexdocx.h>

#include <QLoggingCategory>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))  // debug traces only on request
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    lxDocx_init();
    return RUN_ALL_TESTS();
}
