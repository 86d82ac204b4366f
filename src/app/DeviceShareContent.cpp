#include "app/DeviceShareContent.h"

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
    if (catalogue) {
        const QStringList pieces = model->iconName.split(u'-', Qt::SkipEmptyParts);
        const auto named =
            pieces.isEmpty() ? std::nullopt : StartupModel::Finish::fromRawValue(pieces.last());
        const StartupModel::Finish finish = named ? *named : catalogue->finishes.front();
        content.rearArtwork = StartupDeviceVector::Drawing(series, generation, finish, true);
        content.artwork = [series, generation, finish] {
            return std::optional<StartupDeviceArtwork>(
                StartupDeviceArtwork{std::nullopt, series, generation, finish});
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
    return content;
}

} // namespace DeviceShareContent
