#include "transfer/TemporaryFolder.h"

#include "transfer/PosixError.h"

#include <QDir>
#include <QFile>
#include <QUuid>

#include <sys/stat.h>

TemporaryFolder::TemporaryFolder()
    : path_(QDir(QDir::tempPath()).filePath(QUuid::createUuid().toString(QUuid::WithoutBraces))) {
    if (::mkdir(QFile::encodeName(path_).constData(), 0700) != 0)
        throw PosixError::fromErrno(path_);
}

TemporaryFolder::~TemporaryFolder() {
    QDir(path_).removeRecursively();
}
