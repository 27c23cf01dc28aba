#include "codex_auth_file_error.h"

#include <QCoreApplication>

QString CodexAuthFileError::errorString() const {
    switch (m_code) {
        case Code::NotFound:
            return QCoreApplication::translate(
                "CodexAuthFileError",
                "Codex is not signed in on this computer. Open Codex or run `codex login "
                "--device-auth`.");
        case Code::Invalid:
            return QCoreApplication::translate(
                "CodexAuthFileError",
                "The local Codex session could not be read. Sign in to Codex again.");
    }
    return {};
}
