#include "transfer/AudioImport.h"

#include "transfer/ImportError.h"

namespace IPodTransfer {

// The fifth-generation nano's writer takes over here once its import is in place; until then
// such a nano is refused before anything on it is touched.
QStringList importNano5Audio(const QStringList& /*urls*/, const ImportTarget& /*device*/,
                             const QByteArray& /*sysInfoExtended*/, bool /*parseFilenameTags*/,
                             const ImportProgressSink& /*progress*/) {
    throw ImportError::nano5UnsupportedMP3();
}

} // namespace IPodTransfer
