#pragma once
// What parameterised suites share: a table's rows named by their `name` member, and the suites
// that run on both SQL flavours (engine codes 10 and 2) and both back ends, with the names their
// cases get ("OracleOnPostgres", ...).

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "platform/sql/database.h"

namespace sproutsmith::testing {

// INSTANTIATE_TEST_SUITE_P(..., ::testing::ValuesIn(kRows), testing::RowName<Row>).
template <typename Row>
std::string RowName(const ::testing::TestParamInfo<Row>& param) {
  return param.param.name;
}

using FlavourOnBackEnd = std::tuple<int, sql::Backend>;

inline auto BothFlavoursOnBothBackEnds() {
  return ::testing::Combine(::testing::Values(10, 2),
                            ::testing::Values(sql::Backend::kSqlite, sql::Backend::kPostgres));
}

inline std::string FlavourOnBackEndName(const ::testing::TestParamInfo<FlavourOnBackEnd>& param) {
  return std::string(std::get<0>(param.param) == 2 ? "Oracle" : "Microsoft") +
         (std::get<1>(param.param) == sql::Backend::kPostgres ? "OnPostgres" : "OnSqlite");
}

}  // namespace sproutsmith::testing
