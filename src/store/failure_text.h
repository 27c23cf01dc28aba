#pragma once

#include <QString>
#include <exception>

// The user-visible text of a failure; empty for a cancellation, which is never shown.
QString failureText(const std::exception_ptr& error);
