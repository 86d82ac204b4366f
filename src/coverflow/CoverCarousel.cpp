#include "coverflow/CoverCarousel.h"

#include "appmodel/LorvPalette.h"
#include "coverflow/QXRepresentationTypes.h"
#include "coverflow/RetinaCoverDecoder.h"
#include "transfer/LorvanelCoverArtwork.h"

#include <algorithm>

QXIndex CoverCarousel::Coordinator::numberOfItemsInFlowView(QXFlowView&) {
    return QXIndex(items.size());
}

QXFlowViewItemPtr CoverCarousel::Coordinator::itemAtIndex(QXFlowView&, QXIndex index) {
    return index < items.size() ? items[index] : nullptr;
}

void CoverCarousel::Coordinator::flowViewSelectionDidChange(QXFlowView& view) {
    // What an update pushes in, and the 0 a reload passes through, are not written back.
    if (updating)
        return;
    const QXIndex selected = view.selectedIndex();
    if (selected >= items.size())
        return;
    selection.set(int(selected));
}

std::unique_ptr<CoverCarousel::Coordinator> CoverCarousel::makeCoordinator() {
    return std::make_unique<Coordinator>();
}

CoverFlowControl* CoverCarousel::makeNSView(Coordinator& coordinator, QWidget* parent) {
    auto* control = new CoverFlowControl(parent);
    control->setDataSource(&coordinator);
    control->setDelegate(&coordinator);
    control->imageFactory().registerClass<RetinaCoverDecoder>(QXFlowViewNSDataRepresentationType);
    control->setShowsReflection(true);
    control->setReflectionOffset(-0.46);
    QXGradientLayer& background = control->backgroundLayer();
    background.setMasksToBounds(true);
    background.colors = {LorvPalette::night800(), LorvPalette::night900(), LorvPalette::inkAlt()};
    control->setCanControlQuickLookPanel(false);
    // The control's own title stays but is invisible: the view draws the caption.
    QFont title = control->font();
    title.setWeight(QFont::Medium);
    control->setTitleFont(title);
    control->setTitleSize(14);
    control->setTitleColor(Qt::transparent);
    return control;
}

void CoverCarousel::updateNSView(CoverFlowControl& control, Coordinator& coordinator) const {
    coordinator.selection = selection;
    struct Updating {
        bool& flag;
        explicit Updating(bool& f)
            : flag(f) {
            flag = true;
        }
        ~Updating() { flag = false; }
    } updating(coordinator.updating);
    if (groupIDs != coordinator.groupIDs || artwork != coordinator.artwork ||
        unknownTitle != coordinator.unknownTitle) {
        coordinator.groupIDs = groupIDs;
        coordinator.artwork = artwork;
        coordinator.unknownTitle = unknownTitle;
        const std::optional<QByteArray>& placeholder = LorvanelCoverArtwork::defaultCoverData();
        std::vector<std::shared_ptr<const CoverItem>> items;
        items.reserve(std::size_t(groups.size()));
        for (qsizetype i = 0; i < groups.size(); ++i) {
            const CoverFlowGroup& group = groups[i];
            std::optional<QByteArray> cover;
            if (const auto key = group.artworkTrackID()) {
                const auto found = artwork.constFind(*key);
                if (found != artwork.constEnd())
                    cover = *found;
            }
            items.push_back(std::make_shared<const CoverItem>(
                int(i),
                CoverItem::Source{CoverItem::caption(group, unknownTitle), cover, placeholder}));
        }
        coordinator.items = std::move(items);
        control.reloadContent();
    }
    if (!groups.isEmpty()) {
        const int target = std::clamp(selection.get(), 0, int(groups.size()) - 1);
        if (control.selectedIndex() != QXIndex(target))
            control.setSelectedIndex(QXIndex(target));
    }
}
