#include "app/DeviceShareContent.h"

#include "app/DeviceIcon.h"
#include "appmodel/MainViewState.h"
#include "appmodel/StartupSeries.h"
#include "browser/ByteCountFormatter.h"

namespace DeviceShareContent {

DeviceShareButton::Content forIPod(const IPodDevice& device, const std::optional<IPodModel>& model,
                                   AppLanguage language) {
    DeviceShareButton::Content content;
    const StartupSeries series =
        model ? seriesForFamily(model->family) : StartupSeries(StartupSeries::classic);
    const int generation = model ? model->generationNumber - 1 : 0;
    // A generation outside the catalogue is a model without catalogue data, not an error.
    const StartupModel* catalogue = model ? series.model(generation) : nullptr;

    content.title =
        model ? model->displayName(language) : localizedString(LZ("Unknown iPod"), language);
    QStringList options;
    if (catalogue) {
        content.years = catalogue->years();
        options = catalogue->capacityOptions();
    }
    if (device.totalBytes >= 1) {
        const QString own = ByteCountFormatter::format(device.totalBytes, language,
                                                       ByteCountFormatter::Style::file);
        options.removeAll(own);
        options.prepend(own);
    }
    content.capacities = options;
    if (model && model->colorName)
        content.finish = localizedString(*model->colorName, language);
    // The picture of this device, read again when the card is shown: its volume icon may
    // arrive later.
    if (const std::optional<StartupDeviceArtwork> art = DeviceIcon::artwork(device, model)) {
        content.rearArtwork =
            StartupDeviceVector::Drawing(art->series, art->generation, art->finish, true);
        content.artwork = [device, model] { return DeviceIcon::artwork(device, model); };
    } else {
        // The header's symbol stands in for the picture here too.
        content.artwork = [symbol = DeviceIcon::symbolName(model)] {
            return DeviceIcon::symbolArtwork(symbol);
        };
    }
    return content;
}

DeviceShareButton::Content forMobileDevice(const MobileDevice& device, AppLanguage language) {
    DeviceShareButton::Content content;
    content.title = device.displayName(language);
    if (device.details && device.details->capacity && *device.details->capacity > 0)
        content.capacities = {ByteCountFormatter::format(*device.details->capacity, language,
                                                         ByteCountFormatter::Style::file)};
    content.artwork = [symbol = device.symbolName()] { return DeviceIcon::symbolArtwork(symbol); };
    return content;
}

} // namespace DeviceShareContent
