#include "sign_command.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <exception>
#include <iostream>

#include "tessaly/bundle_signature.h"
#include "tessaly/signing_key.h"

namespace tessaly {

namespace SignTool {
namespace {

std::string checkTeam(const std::string& team) {
    const bool valid = team.size() == 10 && std::all_of(team.begin(), team.end(), [](char c) {
                           return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
                       });
    return valid ? "" : "a team identifier is ten upper-case letters or digits";
}

std::string checkVersion(const std::string& version) {
    const bool valid = !version.empty() && std::all_of(version.begin(), version.end(),
                                                       [](char c) { return c > ' ' && c < 0x7f; });
    return valid ? "" : "a version is printable ASCII without spaces";
}

std::string checkPublicKey(const std::string& hex) {
    return Update::parsePublicKey(hex) ? "" : "a public key is 64 hex digits";
}

ExitStatus keygen(const Keygen& command, std::ostream& out, std::ostream& err) {
    const Update::KeyPair pair = Update::makeKeyPair();
    Update::writePrivateKeyFile(command.privateKeyFile, pair.privateKeyPem);
    out << pair.publicKeyHex << "\n";
    err << "tessaly-sign: wrote the private key to " << command.privateKeyFile
        << "; keep it secret. Build with -DTESSALY_UPDATE_PUBLIC_KEY=" << pair.publicKeyHex << "\n";
    return ExitStatus::success;
}

ExitStatus sign(const Sign& command, std::ostream& out) {
    const Update::PrivateKey key = Update::readPrivateKey(command.privateKeyFile);
    const Update::SignedList list =
        Update::signBundle(command.bundle, key, command.team, command.version);
    out << "Signed " << command.bundle << ": " << list.entries.size() << " entries, team "
        << list.team << ", version " << list.version << "\n";
    return ExitStatus::success;
}

ExitStatus verify(const Verify& command, std::ostream& out) {
    const Update::Trust trust{.publicKey = *Update::parsePublicKey(command.publicKeyHex),
                              .team = command.team};
    out << Update::verifyBundle(command.bundle, trust) << "\n";
    return ExitStatus::success;
}

}  // namespace

std::variant<Command, ExitStatus> parseArguments(int argc, const char* const* argv) {
    CLI::App app{"Makes the vendor's Ed25519 key, and signs and checks application bundles.",
                 "tessaly-sign"};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("tessaly-sign ") + TESSALY_VERSION);

    Keygen keygenCommand;
    CLI::App* keygenApp = app.add_subcommand(
        "keygen", "Write a new private key to a new file (mode 0600) and print its public key");
    keygenApp->add_option("PRIVATE_KEY_FILE", keygenCommand.privateKeyFile)->required();

    Sign signCommand;
    CLI::App* signApp = app.add_subcommand("sign", "Sign a bundle, writing its SIGNATURE file");
    signApp->add_option("--key", signCommand.privateKeyFile, "The private key file")
        ->option_text("FILE")
        ->required();
    signApp->add_option("--team", signCommand.team, "The team identifier")
        ->option_text("TEAMID")
        ->check(checkTeam)
        ->required();
    signApp->add_option("--version", signCommand.version, "The bundle's version")
        ->option_text("VERSION")
        ->check(checkVersion)
        ->required();
    signApp->add_option("BUNDLE", signCommand.bundle, "The bundle folder")->required();

    Verify verifyCommand;
    CLI::App* verifyApp =
        app.add_subcommand("verify", "Check a bundle's signature and print its version");
    verifyApp->add_option("--public-key", verifyCommand.publicKeyHex, "The trusted public key")
        ->option_text("HEX")
        ->check(checkPublicKey)
        ->required();
    verifyApp->add_option("--team", verifyCommand.team, "The trusted team identifier")
        ->option_text("TEAMID")
        ->check(checkTeam)
        ->required();
    verifyApp->add_option("BUNDLE", verifyCommand.bundle, "The bundle folder")->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        app.exit(e);
        return ExitStatus::success;
    } catch (const CLI::CallForVersion& e) {
        app.exit(e);
        return ExitStatus::success;
    } catch (const CLI::ParseError& e) {
        std::cerr << "tessaly-sign: " << e.what() << "\nTry 'tessaly-sign --help'.\n";
        return ExitStatus::usage;
    }
    if (keygenApp->parsed()) return Command(keygenCommand);
    if (signApp->parsed()) return Command(signCommand);
    return Command(verifyCommand);
}

ExitStatus run(const Command& command, std::ostream& out, std::ostream& err) {
    try {
        if (const auto* c = std::get_if<Keygen>(&command)) return keygen(*c, out, err);
        if (const auto* c = std::get_if<Sign>(&command)) return sign(*c, out);
        return verify(std::get<Verify>(command), out);
    } catch (const std::exception& e) {
        err << "tessaly-sign: " << e.what() << "\n";
        return ExitStatus::failure;
    }
}

}  // namespace SignTool

}  // namespace tessaly
