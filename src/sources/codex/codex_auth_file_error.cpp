#include "codex_auth_file_error.h"

#include <QCoreApplication>

QString CodexAuthFileError::errorString() const {
    auto tr = [](const char* text) {
        return QCoreApplication::translate("CodexAuthFileError", text);
    };
    switch (m_code) {
        case Code::NotFound:
            return tr(
                "Codex is not signed in on this computer. Open Codex or run `codex login "
                "--device-auth`.");
        case Code::Invalid:
            return tr("The local Codex session could not be read. Sign in to Codex again.");
    }
    return {};
}
