#include "app/cli/CommandLineHelp.h"

#include <memory>
#include <sstream>

namespace cw::app {

namespace {

// A command on one line with its description, then its options and arguments on one line each,
// indented under it.
class CommandListFormatter : public CLI::Formatter {
public:
    // The value's name and "..." for a list; no "Excludes:"/"Needs:" notes, which would break the
    // option's line in two.
    std::string make_option_opts(const CLI::Option* option) const override
    {
        std::string opts;
        if (option->get_type_size() == 0)
            return opts;
        if (!option->get_type_name().empty())
            opts += " " + get_label(option->get_type_name());
        if (option->get_expected_max() == CLI::detail::expected_max_vector_size)
            opts += " ...";
        if (option->get_required())
            opts += " " + get_label("REQUIRED");
        return opts;
    }

    std::string make_expanded(const CLI::App* command) const override
    {
        std::ostringstream out;
        CLI::detail::format_help(out, command->get_display_name(true), command->get_description(), column_width_);
        for (const bool positional : {true, false}) {
            for (const CLI::Option* option : command->get_options()) {
                if (option->nonpositional() == positional || option == command->get_help_ptr() ||
                    option == command->get_help_all_ptr())
                    continue;
                std::ostringstream line;
                CLI::detail::format_help(line, make_option_name(option, positional) + make_option_opts(option),
                                         make_option_desc(option), column_width_ - 2);
                out << "  " << line.str();
            }
        }
        return out.str();
    }
};

} // namespace

void useCommandListHelp(CLI::App& program)
{
    auto formatter = std::make_shared<CommandListFormatter>();
    formatter->column_width(32);
    formatter->label("SUBCOMMAND", "COMMAND");
    formatter->label("Subcommands", "Commands");
    formatter->label("Positionals", "Arguments");
    formatter->label("REQUIRED", "(required)");
    program.formatter(formatter);
    program.set_help_flag();
    program.set_help_all_flag("-h,--help", "Print this help and exit");
}

void addSigningOptions(CLI::App* command, SigningKey& key, const std::string& signHelp,
                       const std::string& passwordOption, const std::string& passwordHelp)
{
    auto* p12 = command->add_option("--sign", key.pkcs12, signHelp)->type_name("FILE");
    command->add_option("--sign-cert", key.nickname, "Sign with the certificate of this nickname in an NSS database")
        ->excludes(p12)
        ->type_name("NICKNAME");
    command->add_option("--nss-dir", key.nssDir, "The NSS database for --sign-cert (default: ~/.pki/nssdb)")
        ->type_name("DIR");
    command->add_option(passwordOption, key.passwordFile, passwordHelp)->type_name("FILE");
}

} // namespace cw::app
