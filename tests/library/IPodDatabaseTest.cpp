// Opening: how each model family is parsed, and the facts settled at opening.

#include "library/IPodDatabase.h"
#include "support/IPodVolume.h"

#include <gtest/gtest.h>

using TestSupport::IPodVolume;

namespace {

[[maybe_unused]] std::function<std::optional<int>()> product(int id) {
    return [id] { return std::optional<int>(id); };
}

} // namespace

TEST(IPodDatabaseOpen, Smoke) {
    for (const char* model : {"MA477", "MA546", "MC306", "MA350", "MB029", "MB480"}) {
        SCOPED_TRACE(model);
        IPodVolume volume(QString::fromLatin1(model));
        volume.addTrack({.title = QStringLiteral("One"), .artwork = true});
        volume.addTrack({.title = QStringLiteral("Two")});
        volume.write();
        const auto before = TestSupport::snapshotTree(volume.mountPoint());
        IPodDatabase database(volume.mountPoint());
        const auto tracks = database.loadTracks();
        ASSERT_EQ(tracks.size(), 2);
        const auto m = database.model();
        ASSERT_TRUE(m);
        qDebug() << model << database.generation() << m->iconName << m->colorName.value_or("-")
                 << (database.writeBlocker() ? database.writeBlocker()->what() : "editable")
                 << tracks[0].hasCoverArtwork;
        EXPECT_EQ(TestSupport::differences(before, TestSupport::snapshotTree(volume.mountPoint())), QStringList());
    }
}
