#include "app/ErrorText.h"

#include <gtest/gtest.h>

namespace {

struct TErrorTextCase {
  const char* Message;
  const char* Shown;
};

class ErrorBoxTextRule : public testing::TestWithParam<TErrorTextCase> {};

TEST_P(ErrorBoxTextRule, AppendsAFullStopAfterCharactersThatSortAfterIt) {
  EXPECT_EQ(ErrorBoxText(GetParam().Message), GetParam().Shown);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ErrorBoxTextRule,
    testing::Values(TErrorTextCase{"", ""},  // nothing to end
                    TErrorTextCase{"Access denied", "Access denied."},
                    TErrorTextCase{"Done.", "Done."},  // already ends with it
                    TErrorTextCase{"Code 5", "Code 5."},
                    TErrorTextCase{"Path /", "Path /."},  // '/' sorts after '.'
                    // These sort before '.' and keep the message as it is.
                    TErrorTextCase{"Really!", "Really!"}, TErrorTextCase{"Wait -", "Wait -"},
                    TErrorTextCase{"Trailing ", "Trailing "}, TErrorTextCase{"List,", "List,"},
                    // A Hangul syllable (any non-ASCII character) sorts after '.'.
                    TErrorTextCase{"파일을 받지 못했습니다", "파일을 받지 못했습니다."},
                    TErrorTextCase{"Line\r\n", "Line\r\n"}),
    [](const testing::TestParamInfo<TErrorTextCase>& Info) {
      return "Case" + std::to_string(Info.index);
    });

}  // namespace
