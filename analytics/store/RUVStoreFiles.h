#pragma once
// The SDK's store files, whichever thread holds them (their work runs on the worker "RUVThread"). A commit to
// a file's write-ahead log queues a checkpoint behind the work already queued (one for a burst of commits),
// so what is stored reaches the main file soon; at exit each file is closed on the worker, which folds the
// rest of its log in. A file is forgotten before it is destroyed.
namespace plat {
class SqliteFile;
}

class RUVStoreFiles {
  public:
    static void keepFile(plat::SqliteFile& file);
    // Waits while the file is being folded or closed.
    static void forgetFile(plat::SqliteFile& file);
};
