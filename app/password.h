#pragma once
// The password of an unattended run that is not on the command line: given
// as "-", it comes from the systemd credential "password" (the file of that
// name in $CREDENTIALS_DIRECTORY, which LoadCredential= or
// LoadCredentialEncrypted= make), else from ISC_PASSWORD, which the Firebird
// client reads itself, or else from the first line of standard input
// (prompted for on standard error, without echo, when that is a terminal).
// Nothing read is ever written anywhere.

#include <cstddef>
#include <cstdio>
#include <string>

// A password line longer than this is refused, not read on: standard input
// that never ends a line (/dev/zero, a wrong file) would otherwise fill the
// memory.
inline constexpr std::size_t kPasswordLineBound = 4096;

enum class PasswordFound {
    InEnvironment,  // ISC_PASSWORD is set: the client takes it
    Read,           // the line read (from the credential or standard input) is the password
    NoLine,         // standard input ended before any byte
    EmptyLine,      // the line is empty: the connection step never logs in without a password
    TooLong,        // no line end within kPasswordLineBound bytes
};

struct PasswordSource {
    PasswordFound found = PasswordFound::NoLine;
    std::string password;  // the line read
};

// Where the password of a "-" argument comes from; reads `in` only when
// there is no credential and ISC_PASSWORD is not set. A credential's first
// line is taken as standard input's is, with the same bounds. The terminal's echo is restored on every way out
// of the prompt, a stop request's included (app/run_end.h).
PasswordSource passwordFromOutside(std::FILE* in, std::FILE* prompt);

// Keeps the process's memory, the password in it, out of core dumps and out
// of reach of other processes of the same user that read it through /proc
// (Linux; nothing elsewhere).
void keepSecretsInProcess();
