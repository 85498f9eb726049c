#include "tests/standin/FdiDriver.h"

namespace fdi_test {
namespace {

const std::string kLongName = std::string(300, 'n') + ".cab";
// Folder and name at the library's limit (MAX_PATH less 3) and one past it.
const std::string kLongestName = std::string(257 - FixtureDir().size() - 4, 'n') + ".cab";
const std::string kTooLongName = std::string(258 - FixtureDir().size() - 4, 'n') + ".cab";

const std::vector<Scenario> kScenarios = {
    // Whole cabinets and sets, as the reader extracts them.
    {"stored", "stored.cab"},
    {"mszip", "mszip.cab"},
    {"lzx", "lzx.cab"},
    {"attribs", "attribs.cab"},
    {"set2", "set2_1.cab"},
    {"set2_from_second", "set2_2.cab"},
    {"set3", "set3_1.cab"},
    {"set3_from_middle", "set3_2.cab"},
    // MSZIP across three cabinets: a small file shares the block that continues into the
    // second, a large one spans all three.
    {"set3_mszip", "set3z_1.cab"},
    {"set3_mszip_from_middle", "set3z_2.cab"},
    // The next cabinet is missing, of another set, out of order, or not a cabinet.
    {"next_missing", "set2_1.cab", nullptr, nullptr, "missing/"},
    {"next_missing_retry", "set2_1.cab", nullptr, nullptr, "missing/", true},
    {"next_wrong_set", "set2_1.cab", nullptr, nullptr, "wrong/"},
    {"next_wrong_index", "set2_1.cab", nullptr, nullptr, "wrongindex/"},
    {"next_not_cabinet", "set2_1.cab", nullptr, nullptr, "notcab/"},
    // The caller aborts or skips.
    {"abort_cabinet_info", "stored.cab", "CABINET_INFO:1"},
    {"abort_copy_file", "mszip.cab", "COPY_FILE:2"},
    {"abort_close_file_info", "stored.cab", "CLOSE_FILE_INFO:1"},
    {"abort_next_cabinet", "set2_1.cab", "NEXT_CABINET:1"},
    {"abort_second_cabinet_info", "set3_1.cab", "CABINET_INFO:3"},
    {"abort_partial_file", "set2_2.cab", "PARTIAL_FILE:1"},
    {"skip_spanning_file", "set2_1.cab", nullptr, "span.bin"},
    // Cabinets that cannot be read.
    {"missing_cabinet", "nosuch.cab"},
    {"not_a_cabinet", "notcab.cab"},
    {"corrupt", "corrupt.cab"},
    {"truncated", "truncated.cab"},
    {"truncated_header", "truncated-header.cab"},
    {"path_too_long", kLongName.c_str()},
    {"path_at_limit", kLongestName.c_str()},
    {"path_past_limit", kTooLongName.c_str()},
    // FDIIsCabinet.
    {"is_cabinet", "-", nullptr, nullptr, nullptr, false, "stored.cab"},
    {"is_cabinet_continued", "-", nullptr, nullptr, nullptr, false, "set3_2.cab"},
    {"is_cabinet_text", "-", nullptr, nullptr, nullptr, false, "notcab.cab"},
    {"is_cabinet_truncated", "-", nullptr, nullptr, nullptr, false, "truncated-header.cab"},
};

}  // namespace

const std::vector<Scenario>& Scenarios() {
  return kScenarios;
}

}  // namespace fdi_test
