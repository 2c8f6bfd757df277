#include "output/pdf_merge.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <filesystem>
#include <memory>
#include <random>
#include <system_error>

#include "base/error.h"
#include "base/paths.h"

namespace kw::output {
namespace {

namespace fs = std::filesystem;

} // namespace

void MergePdf(const std::vector<MergePage>& pages, const MergeInfo& info, const std::string& path) {
    const fs::path target = PathFromUtf8(path);
    fs::path temporary = target;
    temporary += ".part" + std::to_string(std::random_device()() % 100000);
    std::string current;
    try {
        QPDF merged;
        merged.emptyPDF();
        QPDFPageDocumentHelper mergedPages(merged);
        // The sources must outlive the write: copied pages refer to their objects until then.
        std::vector<std::unique_ptr<QPDF>> sources;
        std::vector<std::size_t> firstPages;
        for (const MergePage& page : pages) {
            current = page.file;
            auto source = std::make_unique<QPDF>();
            source->processFile(page.file.c_str());
            firstPages.push_back(mergedPages.getAllPages().size());
            for (QPDFPageObjectHelper& sourcePage : QPDFPageDocumentHelper(*source).getAllPages()) {
                mergedPages.addPage(sourcePage, false);
            }
            sources.push_back(std::move(source));
        }
        current = path;

        const std::vector<QPDFPageObjectHelper> all = mergedPages.getAllPages();
        QPDFObjectHandle outlines = merged.makeIndirectObject(QPDFObjectHandle::newDictionary());
        outlines.replaceKey("/Type", QPDFObjectHandle::newName("/Outlines"));
        std::vector<QPDFObjectHandle> items;
        for (std::size_t i = 0; i < pages.size(); ++i) {
            if (firstPages[i] >= all.size()) {
                continue; // a source without pages has nothing to open
            }
            QPDFObjectHandle item = merged.makeIndirectObject(QPDFObjectHandle::newDictionary());
            item.replaceKey("/Title", QPDFObjectHandle::newUnicodeString(pages[i].bookmark));
            item.replaceKey("/Parent", outlines);
            QPDFObjectHandle destination = QPDFObjectHandle::newArray();
            destination.appendItem(all[firstPages[i]].getObjectHandle());
            destination.appendItem(QPDFObjectHandle::newName("/Fit"));
            item.replaceKey("/Dest", destination);
            if (!items.empty()) {
                item.replaceKey("/Prev", items.back());
                items.back().replaceKey("/Next", item);
            }
            items.push_back(item);
        }
        if (!items.empty()) {
            outlines.replaceKey("/First", items.front());
            outlines.replaceKey("/Last", items.back());
            outlines.replaceKey("/Count",
                                QPDFObjectHandle::newInteger(static_cast<long long>(items.size())));
            merged.getRoot().replaceKey("/Outlines", outlines);
            merged.getRoot().replaceKey("/PageMode", QPDFObjectHandle::newName("/UseOutlines"));
        }
        QPDFObjectHandle document = merged.makeIndirectObject(QPDFObjectHandle::newDictionary());
        document.replaceKey("/Title", QPDFObjectHandle::newUnicodeString(info.title));
        document.replaceKey("/Creator", QPDFObjectHandle::newUnicodeString(info.creator));
        document.replaceKey("/Producer", QPDFObjectHandle::newUnicodeString("Kestrelwick (qpdf)"));
        merged.getTrailer().replaceKey("/Info", document);

        const std::u8string temporaryName = temporary.u8string();
        QPDFWriter writer(merged, reinterpret_cast<const char*>(temporaryName.c_str()));
        writer.setObjectStreamMode(qpdf_o_generate);
        writer.write();
    } catch (const std::exception& failure) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throw Error(errors::kPathFileAccess,
                    "cannot merge into " + path + " (" + current + "): " + failure.what());
    }
    std::error_code code;
    fs::rename(temporary, target, code);
    if (code) {
        fs::remove(temporary, code);
        throw Error(errors::kPathFileAccess, "cannot name the merged PDF " + path);
    }
}

} // namespace kw::output
