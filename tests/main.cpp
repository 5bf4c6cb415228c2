// The test runner: a GUI application object on the offscreen platform, as
// lxDocx_init makes it for a host, then every test.
#include <lorvexdocx.h>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    lxDocx_init();
    return RUN_ALL_TESTS();
}
