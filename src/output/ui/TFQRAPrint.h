// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The printed listing of a period: draws the title block, the column
// headers, the listing lines in two newspaper-order page columns and the page
// footer of ReportLayout with a QPainter on a QPrinter (A4 portrait,
// millimetres), and shows it in the print preview, from which the user prints
// or saves a PDF. The lines are read from the table page by page as the pages
// are drawn (the preview draws a page when it is shown); in PDF output the
// listing cells are set from glyphs laid out once per character, and in a PDF
// file by our own writer, one text string per cell.

#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "output/ReportLayout.h"
#include "output/TableOutput.h"

class QPainter;
class QPrinter;
class QWidget;

namespace kolvex {
class PdfListingWriter;
}

namespace kolvex::ui {

class TFQRAPrint {
public:
    // The table stays where the plan found it until the report is gone.
    TFQRAPrint(kolvex::ReportPlan plan, kolvex::Table& table);
    ~TFQRAPrint();

    // A4 portrait with the report's margins (top and bottom 10, left 25.4, right 10).
    static void SetupPrinter(QPrinter& printer);
    // Draws the pages (the printer's page range when it has one).
    void Paint(QPrinter* printer) const;
    // Writes the whole report as a PDF file; false when it cannot be written,
    // with the reason in *why (when given).
    bool PrintToPdf(const QString& path, std::string* why = nullptr) const;
    // The same, throwing EADM "The file … could not be written (reason)".
    void WritePdf(const QString& path) const;
    // The preview window, modal; printing is started from it.
    void Preview(QWidget* parent) const;
    // One page with the painter's origin at the top left corner of the
    // printable area; pxPerMm is the device's pixels per millimetre.
    void DrawPage(QPainter& p, double pxPerMm, std::size_t index) const { PaintPage(p, pxPerMm, index, nullptr); }

    // A page drawn before the listing (the period summary): the painter, the
    // device pixels per millimetre and its page number. The listing's pages
    // are numbered after it.
    using LeadPage = std::function<void(QPainter& p, double pxPerMm, int pageNumber)>;
    void SetLeadPage(LeadPage paint) { lead_ = std::move(paint); }
    bool HasLeadPage() const { return static_cast<bool>(lead_); }

    std::size_t PageCount() const { return plan_.Pages.size() + (lead_ ? 1 : 0); }
    const kolvex::ReportPlan& Plan() const { return plan_; }

private:
    class Glyphs;
    void PaintPage(QPainter& p, double pxPerMm, std::size_t index, Glyphs* glyphs) const;
    void PaintPages(QPainter& p, QPrinter& printer, Glyphs* glyphs, kolvex::PdfListingWriter* writer) const;
    // The PDF file (named file, open as pdfFd for reading and writing) with
    // the listing cells set by our own writer (see output/PdfListing.h);
    // false when that could not be done.
    bool PaintOwnListing(const std::string& file, int pdfFd, int scratchFd) const;

    kolvex::ReportPlan plan_;
    kolvex::Table& table_;
    mutable std::vector<kolvex::ReportLine> lines_;  // the page being drawn
    LeadPage lead_;
};

}  // namespace kolvex::ui
