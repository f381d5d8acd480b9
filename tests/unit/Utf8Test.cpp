#include "core/Utf8.h"

#include <gtest/gtest.h>

using namespace telvanto;

TEST(Utf8, CountsScalarValues)
{
    const struct {
        std::string_view text;
        std::size_t scalars;
    } cases[] = {
        {"", 0},
        {"ab", 2},
        {"č", 1},
        {"e\xCC\x81", 2},           // e + combining acute
        {"😀", 1},
        {"👍🏽", 2},                  // thumbs up + skin tone
        {"\xFF\xFE", 2},            // invalid bytes count one each
    };
    for (const auto& c : cases) EXPECT_EQ(countScalars(c.text), c.scalars) << c.text;
}
