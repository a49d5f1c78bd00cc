// "Open Resource Bitmap" (template 102), the loader that runs it and the
// file preview of program files.
#include <algorithm>
#include <cstring>

#include "common/limits.h"
#include "ui/services.h"
#include "common/format_table.h"
#include "platform/owners.h"
#include "resources/strings.h"
#include "programs/resource_reader.h"

namespace vc {

namespace {

constexpr uint32_t kIconInformation = 0x40;

// Weights of the characters names are made of, as the system's word sort
// orders them: blanks and symbols first (in its own order), then digits,
// then letters without regard to case, then everything else by code.
int weight(unsigned char c) {
    static const char kSymbols[] = " !\"#$%&()*,./:;?@[\\]^_`{|}~+<=>";
    if (const char *s = c ? std::strchr(kSymbols, c) : nullptr) return int(s - kSymbols);
    if (c >= '0' && c <= '9') return 100 + c - '0';
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    if (c >= 'A' && c <= 'Z') return 200 + c - 'A';
    return 300 + c;
}

bool ignored(char c) { return c == '-' || c == '\''; }

}  // namespace

bool listBoxLess(const std::string &a, const std::string &b) {
    size_t i = 0, j = 0;
    for (;;) {
        while (i < a.size() && ignored(a[i])) ++i;
        while (j < b.size() && ignored(b[j])) ++j;
        if (i == a.size() || j == b.size()) break;
        const int wa = weight(uint8_t(a[i])), wb = weight(uint8_t(b[j]));
        if (wa != wb) return wa < wb;
        ++i, ++j;
    }
    if ((i == a.size()) != (j == b.size())) return i == a.size();
    // Equal but for hyphens and apostrophes: the fewer, the earlier; then
    // the characters themselves.
    const auto count = [](const std::string &s) { return std::count_if(s.begin(), s.end(), ignored); };
    if (count(a) != count(b)) return count(a) < count(b);
    return a < b;
}

std::string ResourceBitmapModel::itemText(int32_t index) const {
    if (index < 0 || size_t(index) >= items.size()) return {};
    return list.entries[items[size_t(index)]].name;
}

std::string ResourceBitmapModel::imageName(const std::string &line) {
    const size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos) return {};
    return line.substr(start, 8) + ".BMP";
}

bool ResourceBitmapModel::start() {
    items.clear();
    for (uint32_t i = 0; i < list.count; ++i) items.push_back(i);
    std::stable_sort(items.begin(), items.end(),
                     [this](uint32_t a, uint32_t b) { return listBoxLess(list.entries[a].name, list.entries[b].name); });
    showPreview = true;
    (void)select(kResBmpList, 0);
    return true;
}

bool ResourceBitmapModel::select(int id, int32_t index) {
    if (id != kResBmpList) return false;
    image = plat::Block();
    selection = index >= 0 && size_t(index) < items.size() ? index : -1;
    if (selection >= 0 && showPreview)
        image = plat::Block(ReadResourceData(file, &list.entries[items[size_t(selection)]]));
    return true;
}

bool ResourceBitmapModel::clicked(int id) {
    if (id != kResBmpShowPreview) return false;
    showPreview = !showPreview;
    return select(kResBmpList, selection);
}

bool ResourceBitmapModel::pressOk() {
    if (ended()) return true;
    if (selection < 0) return false;
    if (!image.handle()) image = plat::Block(ReadResourceData(file, &list.entries[items[size_t(selection)]]));
    if (!image.handle()) return false;  // unreadable: the dialog stays
    const std::string name = imageName(itemText(selection));
    if (fileName && !name.empty()) std::memcpy(fileName, name.c_str(), name.size() + 1);
    end(intptr_t(image.release()));
    return true;
}

void ResourceBitmapModel::pressCancel() {
    if (ended()) return;
    image = plat::Block();
    end(0);
}

bool ResourceBitmapModel::shownText(int id, std::string &text) const {
    if (id == kResBmpFileName) {
        text = fileName ? fileName : "";
        return true;
    }
    if (id != kResBmpSize && id != kResBmpColors) return false;
    text.clear();
    if (!image || !showPreview) return true;
    plat::Lock lock(image.handle());
    BitmapPreview p;
    if (lock.data() && bitmapPreview(lock.data(), plat::memSize(image.handle()), 0, 0, p))
        text = id == kResBmpSize ? p.sizeText : p.colorsText;
    return true;
}

bool ResourceBitmapModel::listText(int id, int32_t index, std::string &text) const {
    if (id != kResBmpList || index < 0 || size_t(index) >= items.size()) return false;
    text = itemText(index);
    return true;
}

Result LoadResourceBitmap(char *fileName, Wnd parent, ConvImageRecord *record) {
    plat::File file;
    if (!fileName || !file.open(fileName)) return Result::openFailed;
    ResourceBitmapList list;
    const Result r = ScanProgramFile(file.handle(), false, list);
    if (r == Result::ok) {
        ResourceBitmapModel model(file.handle(), fileName, list);
        (void)model.start();  // it always starts
        (void)plat::runDialog(parent, kResourceBitmapTemplate, model);
        // The block is the model's until OK ended it with the block; a
        // dialog closed any other way leaves it to the model, which frees it.
        MemHandle block = model.ended() ? reinterpret_cast<MemHandle>(model.result()) : nullptr;
        if (record)
            record->image = block;
        else if (block)
            (void)plat::memFree(block);  // nobody to hand it to
        return block ? Result::ok : Result::cancelled;
    }
    if (r == Result::noneFound) (void)ShowStringMessage(parent, IDS_ERROR, IDS_NO_BITMAPS, kIconInformation);
    return r;
}

Result loadResourceRow(const LoadRequest &request) {
    // For this code the editor passes its file-name buffer (MAX_PATH
    // characters) to be written; the export's parameter is const only for
    // the formats that leave the name alone.
    return LoadResourceBitmap(const_cast<char *>(request.fileName), request.parent, request.record);
}

Result GetResourceBitmapPreview(const char *fileName, ConvImageRecord *record) {
    plat::File file;
    if (!fileName || !file.open(fileName)) return Result::openFailed;
    ResourceBitmapList list;
    const Result r = ScanProgramFile(file.handle(), false, list);
    if (r == Result::ok) {
        // The first bitmap found; one whose data cannot be read gives no
        // preview, reported as a damaged file.
        record->image = ReadResourceData(file.handle(), &list.entries[0], limits().previewRead);
        record->bitsOffset = 0;
        return record->image ? Result::ok : Result::readFailed;
    }
    if (r == Result::noneFound && record->messageText && record->messageSize)
        (void)plat::loadString(IDS_NO_BITMAPS, record->messageText, int(std::min<uintptr_t>(record->messageSize, INT32_MAX)));
    return r;
}

}  // namespace vc
