#include "GenerateCli.h"

#include "Generate.h"

#include <vector>

namespace cw::app {

namespace {
// Every message of a run ends it, so they are printed once the outcome says where they belong.
class CollectingReporter : public import::Reporter {
public:
    void message(const import::Message& m) override { messages.push_back(m); }
    std::vector<import::Message> messages;
};
} // namespace

int runGenerate(const std::filesystem::path& folder, std::ostream& out, std::ostream& err)
{
    CollectingReporter reporter;
    const GenerateOutcome outcome = Generate(folder, reporter).run();
    std::ostream& to = outcome == GenerateOutcome::Succeeded ? out : err;
    for (const import::Message& m : reporter.messages)
        to << m.prompt << '\n';
    return outcome == GenerateOutcome::Succeeded ? 0 : 1;
}

} // namespace cw::app
