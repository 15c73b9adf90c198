// The one exception type of the front end: a failure with a message for the user.
#pragma once

#include <stdexcept>
#include <string>

class Failure : public std::runtime_error {
 public:
  explicit Failure(const std::string& Message) : std::runtime_error(Message) {}
};
