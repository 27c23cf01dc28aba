#pragma once

#include <QString>
#include <exception>
#include <string>

// Base of every error that Quotamind shows to the user. Each component derives its own type
// holding its error enumeration; errorString() is the fixed English sentence, which is
// also the translation key. Errors of the platform (network, file, decoding) keep their own text.
class Error : public std::exception {
public:
    virtual QString errorString() const = 0;

    // The description in UTF-8, for code that only sees std::exception.
    const char* what() const noexcept override;

private:
    mutable std::string m_what;
};

// A failure of the platform whose text is shown as the platform gave it.
class PlatformError : public Error {
public:
    explicit PlatformError(QString description) : m_description(std::move(description)) {}
    QString errorString() const override { return m_description; }

private:
    QString m_description;
};

// Thrown where an operation stops because its work was cancelled. It is deliberately not an
// Error: cancellation is never shown to the user.
class CancelledError final : public std::exception {
public:
    const char* what() const noexcept override { return "cancelled"; }
};
