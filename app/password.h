#pragma once
// The password of an unattended run that is not on the command line: given
// as "-", it comes from ISC_PASSWORD, which the Firebird client reads itself,
// or else from the first line of standard input (prompted for on standard
// error, without echo, when that is a terminal). Nothing read is ever
// written anywhere.

#include <cstdio>
#include <string>

struct PasswordSource {
    bool fromEnvironment = false;  // ISC_PASSWORD is set: the client takes it
    std::string password;          // else the line read
    bool found = false;            // false: no line to read
};

// Where the password of a "-" argument comes from; reads `in` only when
// ISC_PASSWORD is not set.
PasswordSource passwordFromOutside(std::FILE* in, std::FILE* prompt);

// Keeps the process's memory, the password in it, out of core dumps and out
// of reach of other processes of the same user that read it through /proc
// (Linux; nothing elsewhere).
void keepSecretsInProcess();
