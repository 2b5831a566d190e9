#include "categories/systemcode.h"

#include <algorithm>
#include <iterator>

namespace {
using C = ESystemCode;
constexpr SSystemCodeInfo kCodes[] = {
    {C::None, "None", true},
    {C::LastUsed, "Last Used", true},
    {C::PrinterName, "Printer Name", false},
    {C::MachineName, "Machine Name", false},
    {C::UserName, "User Name", false},
    {C::DocumentName, "Document Name", false},
    {C::SubmitDT, "Submitted Date/Time", false},
    {C::QueueName, "Queue Name", false},
    {C::DriverName, "Driver Name", false},
    {C::PrinterGroup, "Printer Group", false},
    {C::JobSizeBytes, "Job Size (bytes)", false},
    {C::PagesPerCopy, "Number of Pages Per Copy", false},
    {C::SeparatorPages, "Number of Separator Pages", false},
    {C::RecordID, "DataBase Record ID", false},
    {C::NumCopies, "Number of Copies", false},
    {C::TotalPages, "Total Pages", true},
    {C::PaperName, "Paper Name", false},
    {C::PaperWidth, "Paper Width (in)", false},
    {C::PaperHeight, "Paper Height (in)", false},
    {C::PaperAreaPerSheet, "Paper Area Per Sheet (sq ft)", true},
    {C::PaperSize, "Paper Size (## x ##)", true},
    {C::PaperNameAndSize, "Paper Name and Size", true},
    {C::TotalPaperArea, "Total Paper Area (sq ft)", true},
    {C::MediaType, "Media Type", false},
    {C::Orientation, "Orientation", false},
    {C::JobSummary, "Job Summary", false},
    {C::PathAndFilename, "Path and Filename", false},
    {C::Color, "Color-Monochrome", false},
    {C::Reserved, "RESERVED", false},
    {C(81), "Document Directory Level 1", true},
    {C(82), "Document Directory Level 2", true},
    {C(83), "Document Directory Level 3", true},
    {C(84), "Document Directory Level 4", true},
    {C(85), "Document Directory Level 5", true},
    {C(86), "Document Directory Level 6", true},
    {C(87), "Document Directory Level 7", true},
    {C(88), "Document Directory Level 8", true},
    {C::AutoDirectoryLevelWithFile, "Auto Directory Level Including Filename", true},
    {C::AutoDirectoryLevel, "Auto Directory Level", true},
};
static_assert(std::is_sorted(std::begin(kCodes), std::end(kCodes),
                             [](const auto& a, const auto& b) { return a.Code < b.Code; }));
} // namespace

const SSystemCodeInfo* FindSystemCode(qint32 code) {
    const auto it = std::lower_bound(std::begin(kCodes), std::end(kCodes), C(code),
                                     [](const SSystemCodeInfo& e, C c) { return e.Code < c; });
    return it != std::end(kCodes) && it->Code == C(code) ? it : nullptr;
}
