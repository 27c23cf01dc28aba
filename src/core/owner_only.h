#pragma once

#include <QString>

// Files and folders that only their owner may open: everything of Quotamind's that holds a
// secret. Both calls touch the disk: run them on a worker thread where the main thread would wait.
namespace owner_only {

// Creates an empty file with mode 0600 when nothing is at `path`; otherwise tightens what is
// there. A file that is then rewritten through a temporary one (QSaveFile copies the old file's
// mode) stays 0600.
void createOrTighten(const QString& path);

// Takes every permission of the group and of others away from the file or folder at `path` when
// it belongs to this user; a link, another user's file or a missing one is left as it is.
void tighten(const QString& path);

}  // namespace owner_only
