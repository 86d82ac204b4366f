#pragma once

// The popup of the share button: the card scaled down, the choices of year, capacity and back,
// an engraving of at most 21 characters, and the two ways out: save the card as a PNG file, or
// copy it and open the social network's compose page. Every opening starts afresh; while open,
// it follows the content its button is given.

#include "appmodel/StartupModel.h"
#include "artwork/StartupDeviceVector.h"
#include "showcase/DeviceShareCard.h"
#include "showcase/StartupDeviceArtwork.h"

#include <QByteArray>
#include <QFrame>
#include <QPointer>
#include <QStringList>

#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class DeviceSharePreview : public QFrame {
    Q_OBJECT

public:
    static constexpr int engravingLimit = 21;
    static constexpr double previewWidth = 460;

    struct Input {
        QString title;
        std::optional<StartupModel::Years> years;
        QStringList capacities;
        std::optional<QString> finish;
        std::optional<StartupDeviceArtwork> artwork;
        std::optional<StartupDeviceVector::Drawing> rearArtwork;
    };

    // dialogParent: the window the save dialog and its alert belong to, which outlives the
    // popup.
    DeviceSharePreview(const Input& input, QWidget* dialogParent, QWidget* parent = nullptr);

    // Line breaks become one space; at most `limit` characters (graphemes) stay.
    static QString normalizeEngraving(const QString& text, int limit = engravingLimit);
    // User-perceived characters, not UTF-16 units.
    static int characterCount(const QString& text);

    // New content for the open popup (the device's model was read, say): the choices and the
    // engraving stay where they still apply.
    void setInput(const Input& input);

    std::optional<int> shownYear() const;
    std::optional<QString> currentCapacity() const;
    DeviceShareCard makeCard() const;

    std::optional<QByteArray> renderDeviceImagePNG();
    void saveDeviceImage(const QByteArray& png);
    void copyDeviceImageAndOpenCompose(const QByteArray& png);
    // The message line: the last result, else the usage note.
    QString message() const;

    QComboBox* yearPicker() const { return year_; }
    QComboBox* capacityPicker() const { return capacity_; }
    QCheckBox* backSwitch() const { return back_; }
    QWidget* optionsRow() const { return options_; }
    QLineEdit* engravingField() const { return engraving_; }
    QLabel* counterLabel() const { return counter_; }
    QPushButton* copyButton() const { return copy_; }
    QLabel* messageLabel() const { return message_; }

private:
    void buildOptions();
    void engravingEdited(const QString& text);
    void setFeedback(const std::optional<QString>& key);
    void refresh();

    Input input_;
    QPointer<QWidget> dialogParent_;
    std::optional<int> selectedYear_;
    std::optional<QString> selectedCapacity_;
    QString engravingText_;
    bool showsBack_ = false;
    std::optional<QString> feedback_;
    // The card on show, which the feedback of a copy or a failure speaks of.
    std::optional<DeviceShareCard> shownCard_;

    QWidget* cardView_ = nullptr;
    QWidget* options_ = nullptr;
    QComboBox* year_ = nullptr;
    QComboBox* capacity_ = nullptr;
    QCheckBox* back_ = nullptr;
    QLineEdit* engraving_ = nullptr;
    QLabel* counter_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* copy_ = nullptr;
    QLabel* message_ = nullptr;
};
