#pragma once

// One group of the cover flow as an item of the control: its caption and its cover bytes, else
// the default cover's bytes, else the default cover image. The UID says whether the group's own
// cover is there, so the control decodes afresh when it arrives.

#include "coverflow/QXFlowViewItem.h"
#include "library/CoverFlowGroup.h"

#include <QByteArray>
#include <QString>

#include <optional>

class CoverItem : public QXFlowViewItem {
public:
    struct Source {
        QString caption;
        std::optional<QByteArray> artwork;     // the group's cover
        std::optional<QByteArray> placeholder; // the default cover
    };

    CoverItem(int index, Source source);

    int index() const { return index_; }
    const Source& source() const { return source_; }

    // The title, or unknownTitle when it is empty, then " · " and the artist when there is one.
    static QString caption(const CoverFlowGroup& group, const QString& unknownTitle);

    QVariant imageItemRepresentation() const override;
    QString imageItemRepresentationType() const override;
    // "index:caption:true" with a cover, "...:false" without (the placeholder does not count).
    QString imageItemUID() const override;
    std::optional<QString> imageItemTitle() const override { return source_.caption; }

private:
    int index_;
    Source source_;
};
