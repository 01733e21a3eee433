// A small account book for the request-logic tests, one account for each login column.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "account_book.h"

namespace corvel::devservice::testing {

inline constexpr const char* kTestAccounts =
    "# account password balance linkedPhone sipNumber login codeTable\n"
    "alice  pw1  25.00  13900000001  80001001  ok        abcXYZ\n"
    "bob    pw2  10.00  13600000002  80001002  ok1       xyzABC\n"
    "carol  pw3   0.00  13800000003  80001003  ok        aaa\n"
    "dave   pw4  10.00  -            80001004  banned    -\n"
    "erin   pw5  10.00  -            80001005  busy      -\n"
    "frank  pw6  10.00  -            80001006  inactive  -\n"
    "gina   pw7  10.00  -            80001007  error     -\n"
    "hugo   pw8  -5.00  -            80001008  ok1       -\n";

inline AccountBook TestBook() {
  std::string error;
  std::optional<AccountBook> book = AccountBook::Parse(kTestAccounts, error);
  EXPECT_TRUE(book.has_value()) << error;
  return book ? std::move(*book) : AccountBook();
}

}  // namespace corvel::devservice::testing
