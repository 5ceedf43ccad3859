// The recipe run over the virtual board's COM port, a pseudo-terminal.
#include "cli_test_support.h"

namespace zorbel::clitest {

INSTANTIATE_TEST_SUITE_P(ComPort, RecipeRun, ::testing::Values("vcom"));

}  // namespace zorbel::clitest
