// When REZURUDEV_TEST_LOCALE names a locale, every test of this program runs under it:
// the number tests must give the same results whatever locale a toolkit has switched to.
// A locale that cannot be set ends the program with an error rather than letting the
// tests pass in the "C" locale.
#define _CRT_SECURE_NO_WARNINGS // getenv is fine here
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>

namespace {

class LocaleFromEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        const char* name = std::getenv("REZURUDEV_TEST_LOCALE");
        if (name == nullptr || *name == '\0') {
            return;
        }
        if (std::setlocale(LC_ALL, name) == nullptr) {
            std::fprintf(stderr,
                         "error: cannot switch to the locale \"%s\" "
                         "(is it generated? see scripts/setup.sh)\n",
                         name);
            std::exit(1);
        }
    }
};

[[maybe_unused]] ::testing::Environment* const kLocale =
    ::testing::AddGlobalTestEnvironment(new LocaleFromEnvironment);

} // namespace
