#include "base/dialog_template.h"
#include "base/file_picker.h"
#include "support/fixture.h"

#include <string>

namespace {

using headless::control;

TEST_F(WindowTest, BatchPickerOffersTxtFilesFromTheCurrentDirectory) {
    headless::answer_file("/tmp/requests.txt");
    headless::queue_click(idc_pick_batch);
    pump_one_message();
    ASSERT_EQ(headless::file_requests().size(), 1u);
    const auto& r = headless::file_requests()[0];
    EXPECT_EQ(r.filter_description, "txt files");
    EXPECT_EQ(r.filter_pattern, "*.txt");
    EXPECT_EQ(r.initial_name, "*.txt");
    EXPECT_EQ(r.initial_dir, ".");
    EXPECT_EQ(r.title, "Select file");
    EXPECT_EQ(r.default_ext, "txt");
    EXPECT_EQ(r.path_capacity, chosen_path_size);
    EXPECT_EQ(control(idc_batch_path).text, "/tmp/requests.txt");
}

TEST_F(WindowTest, SignPickerTakesAnyFileAndCancelKeepsTheField) {
    headless::answer_file("/tmp/doc.bin");
    headless::queue_click(idc_pick_sign);
    pump_one_message();
    EXPECT_EQ(headless::file_requests().back().filter_description, "* files");
    EXPECT_EQ(control(idc_sign_path).text, "/tmp/doc.bin");

    headless::answer_file(std::nullopt);
    headless::queue_click(idc_pick_sign);
    pump_one_message();
    EXPECT_EQ(control(idc_sign_path).text, "/tmp/doc.bin");
}

} // namespace
