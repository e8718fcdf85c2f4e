// vexa-cli pictures: the pictures tab's albums, export, import and delete, on the same library.
#include "CliCommands.h"

#include "bridge/api/DeviceSession.h"
#include "bridge/api/FileSystem.h"
#include "bridge/api/PictureStore.h"
#include "pictures/PictureLibrary.h"
#include "platform/StringTable.h"

namespace {

constexpr const char* kUsage = "usage: vexa-cli [--phone SERIAL] pictures albums\n"
                               "       vexa-cli [--phone SERIAL] pictures export --album NAME DIR\n"
                               "       vexa-cli [--phone SERIAL] pictures import --album NAME FILE...\n"
                               "       vexa-cli [--phone SERIAL] pictures delete --album NAME FILE_NAME...\n";

// Ends a batch: the count on success, every notice, and the reason of a failure or cancel.
int Report(CliContext& ctx, const pictures::BatchOutcome& outcome, int successId, int failedId, int cancelledId) {
    for (const QString& notice : outcome.notices) {
        ctx.err << notice << '\n';
    }
    switch (outcome.result) {
    case pictures::BatchOutcome::Succeeded:
        ctx.out << FormatText(Str(successId), outcome.done) << '\n';
        return outcome.notices.isEmpty() ? kCliOk : kCliFailed;
    case pictures::BatchOutcome::Cancelled:
        ctx.err << Str(cancelledId) << '\n';
        return kCliFailed;
    default:
        if (!outcome.error.isEmpty()) {
            ctx.err << outcome.error << '\n';
        }
        ctx.err << Str(failedId) << '\n';
        return kCliFailed;
    }
}

int RunPictures(CliContext& ctx, const QStringList& args) {
    const QString command = args.value(0);
    const bool albums = command == QLatin1String("albums") && args.size() == 1;
    const bool batch = (command == QLatin1String("export") || command == QLatin1String("import") ||
                        command == QLatin1String("delete")) &&
                       args.value(1) == QLatin1String("--album") && args.size() >= 4 &&
                       (command != QLatin1String("export") || args.size() == 4);
    if (!albums && !batch) {
        ctx.err << kUsage;
        return kCliUsage;
    }
    vexa::DeviceSession* session = ctx.Session();
    if (session == nullptr) {
        return kCliFailed;
    }
    vexa::PictureStore* store = session->GetPictureStore();
    if (store == nullptr || store->LoadPictures() != 1) {
        ctx.err << Str(2911) << '\n';
        return kCliFailed;
    }
    std::vector<pictures::AlbumInfo> list = pictures::ListAlbums(*store, session->GetFileSystem());
    if (command == QLatin1String("import") && pictures::FindAlbum(list, args[2]) < 0) {
        // An album named for the first time is made as 新建相册 makes it: on the first storage the
        // phone has (its own storage before the card).
        vexa::FileSystem* files = session->GetFileSystem();
        const std::vector<int> storages = files != nullptr ? pictures::AlbumStorages(*files) : std::vector<int>();
        const int problem =
            storages.empty() ? 839 : pictures::CreateAlbum(*store, *files, storages.front(), args[2]);
        if (problem != 0) {
            ctx.err << Str(problem) << '\n';
            return kCliFailed;
        }
        list = pictures::ListAlbums(*store, files);
    }
    if (albums) {
        for (const pictures::AlbumInfo& album : list) {
            ctx.out << album.name << '\t' << album.location << '\t' << album.count << '\n';
        }
        return kCliOk;
    }
    const int album = pictures::FindAlbum(list, args[2]);
    if (album < 0) {
        ctx.err << FormatText(Str(2910), qUtf8Printable(args[2])) << '\n';
        return kCliFailed;
    }
    const QStringList operands = args.mid(3);
    if (command == QLatin1String("export")) {
        const auto outcome = pictures::ExportPictures(*store, pictures::ListPictures(*store, album), operands[0], {});
        return Report(ctx, outcome, 815, 821, 823);
    }
    if (command == QLatin1String("import")) {
        // A name already in the album is never overwritten: the new picture is kept beside it.
        return Report(ctx, pictures::ImportPictures(*store, album, operands, {}), 820, 822, 824);
    }
    // Every name must be there before anything is deleted.
    const std::vector<pictures::PictureItem> inAlbum = pictures::ListPictures(*store, album);
    std::vector<pictures::PictureItem> chosen;
    for (const QString& name : operands) {
        const auto it = std::find_if(inAlbum.begin(), inAlbum.end(),
                                     [&name](const pictures::PictureItem& p) { return p.name == name; });
        if (it == inAlbum.end()) {
            ctx.err << FormatText(Str(2912), qUtf8Printable(name)) << '\n';
            return kCliFailed;
        }
        chosen.push_back(*it);
    }
    return Report(ctx, pictures::DeletePictures(*store, chosen, {}, [session] { return session->IsConnected(); }), 2925,
                  825, 826);
}

const CliRegistration kRegistration({"pictures",
                                     "pictures albums\npictures export --album NAME DIR\n"
                                     "pictures import --album NAME FILE...\npictures delete --album NAME FILE_NAME...",
                                     &RunPictures});

} // namespace
