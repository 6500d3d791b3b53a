#pragma once
// The exception of the program outside the database layer (which has its own,
// SqlError, carrying the server's codes): a failure whose text is already
// worded for the user, who sees it in the error message.

#include <stdexcept>
#include <string>

class ProgramError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
