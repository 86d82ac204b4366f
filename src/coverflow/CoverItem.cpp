#include "coverflow/CoverItem.h"

#include "coverflow/LorvanelCoverImage.h"
#include "coverflow/QXRepresentationTypes.h"

CoverItem::CoverItem(int index, Source source)
    : index_(index)
    , source_(std::move(source)) {
}

QString CoverItem::caption(const CoverFlowGroup& group, const QString& unknownTitle) {
    QString text = group.id.title.isEmpty() ? unknownTitle : group.id.title;
    if (!group.id.artist.isEmpty())
        text += QStringLiteral(" · ") + group.id.artist;
    return text;
}

QVariant CoverItem::imageItemRepresentation() const {
    if (source_.artwork)
        return *source_.artwork;
    if (source_.placeholder)
        return *source_.placeholder;
    return LorvanelCoverArtwork::defaultImage();
}

QString CoverItem::imageItemRepresentationType() const {
    return source_.artwork || source_.placeholder ? QXFlowViewNSDataRepresentationType
                                                  : QXFlowViewNSImageRepresentationType;
}

QString CoverItem::imageItemUID() const {
    return QString::number(index_) + u':' + source_.caption + u':' +
           (source_.artwork ? QStringLiteral("true") : QStringLiteral("false"));
}
