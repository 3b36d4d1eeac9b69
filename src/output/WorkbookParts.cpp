// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/WorkbookParts.h"

#include "output/WorkbookExport.h"

namespace kolvex {

namespace {

constexpr const char* kXmlDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
constexpr const char* kRelationshipsNs = "http://schemas.openxmlformats.org/package/2006/relationships";
constexpr const char* kDocumentRelationship = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

// A sheet name in a formula: always quoted, an apostrophe doubled.
std::string QuotedSheetName(const std::string& name) {
    std::string q = "'";
    for (char c : name) q += c == '\'' ? std::string("''") : std::string(1, c);
    return q + "'";
}

int TitleCount(const std::vector<WorkbookSheet>& sheets) {
    int n = 0;
    for (const WorkbookSheet& s : sheets) n += s.PrintTitles ? 1 : 0;
    return n;
}

}  // namespace

void AppendXmlText(std::string& out, std::string_view s, bool attribute) {
    static const char* const kHex = "0123456789ABCDEF";
    for (char ch : s) {
        const auto u = static_cast<unsigned char>(ch);
        switch (ch) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"':
                if (attribute) out += "&quot;";
                else out += ch;
                break;
            default:
                if (u < 0x20 && ch != '\t' && ch != '\n' && ch != '\r') {
                    out += "_x00";
                    out += kHex[u >> 4];
                    out += kHex[u & 15];
                    out += '_';
                } else {
                    out += ch;
                }
        }
    }
}

std::string WorkbookXml(const std::vector<WorkbookSheet>& sheets) {
    std::string x = kXmlDeclaration;
    x += "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" xmlns:r=\"";
    x += kDocumentRelationship;
    x += "\"><fileVersion appName=\"xl\" lastEdited=\"4\" lowestEdited=\"4\" rupBuild=\"4505\"/>"
         "<workbookPr defaultThemeVersion=\"124226\"/><bookViews><workbookView xWindow=\"240\" yWindow=\"15\" "
         "windowWidth=\"16095\" windowHeight=\"9660\"/></bookViews><sheets>";
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        x += "<sheet name=\"";
        AppendXmlText(x, sheets[i].Name, true);
        x += "\" sheetId=\"" + std::to_string(i + 1) + "\" r:id=\"rId" + std::to_string(i + 1) + "\"/>";
    }
    x += "</sheets>";
    if (TitleCount(sheets) > 0) {
        x += "<definedNames>";
        for (std::size_t i = 0; i < sheets.size(); ++i) {
            if (!sheets[i].PrintTitles) continue;
            x += "<definedName name=\"_xlnm.Print_Titles\" localSheetId=\"" + std::to_string(i) + "\">";
            AppendXmlText(x, QuotedSheetName(sheets[i].Name) + "!$1:$" + std::to_string(kFirstDataRow));
            x += "</definedName>";
        }
        x += "</definedNames>";
    }
    x += "<calcPr calcId=\"124519\" fullCalcOnLoad=\"1\"/></workbook>";
    return x;
}

std::string WorkbookRelationshipsXml(std::size_t sheets) {
    std::string x = kXmlDeclaration;
    x += "<Relationships xmlns=\"" + std::string(kRelationshipsNs) + "\">";
    auto rel = [&](std::size_t id, const char* type, const std::string& target) {
        x += "<Relationship Id=\"rId" + std::to_string(id) + "\" Type=\"" + kDocumentRelationship + "/" + type +
             "\" Target=\"" + target + "\"/>";
    };
    for (std::size_t i = 1; i <= sheets; ++i) rel(i, "worksheet", "worksheets/sheet" + std::to_string(i) + ".xml");
    rel(sheets + 1, "theme", "theme/theme1.xml");
    rel(sheets + 2, "styles", "styles.xml");
    return x + "</Relationships>";
}

std::string ContentTypesXml(std::size_t sheets) {
    const std::string office = "application/vnd.openxmlformats-officedocument.";
    std::string x = kXmlDeclaration;
    x += "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
         "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
         "<Default Extension=\"xml\" ContentType=\"application/xml\"/>";
    auto part = [&](const std::string& name, const std::string& type) {
        x += "<Override PartName=\"" + name + "\" ContentType=\"" + type + "\"/>";
    };
    part("/docProps/app.xml", office + "extended-properties+xml");
    part("/docProps/core.xml", "application/vnd.openxmlformats-package.core-properties+xml");
    part("/xl/styles.xml", office + "spreadsheetml.styles+xml");
    part("/xl/theme/theme1.xml", office + "theme+xml");
    part("/xl/workbook.xml", office + "spreadsheetml.sheet.main+xml");
    for (std::size_t i = 1; i <= sheets; ++i)
        part("/xl/worksheets/sheet" + std::to_string(i) + ".xml", office + "spreadsheetml.worksheet+xml");
    return x + "</Types>";
}

std::string AppPropertiesXml(const std::vector<WorkbookSheet>& sheets) {
    const int titles = TitleCount(sheets);
    std::string x = kXmlDeclaration;
    x += "<Properties xmlns=\"http://schemas.openxmlformats.org/officeDocument/2006/extended-properties\" "
         "xmlns:vt=\"http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes\">"
         "<Application>Microsoft Excel</Application><DocSecurity>0</DocSecurity><ScaleCrop>false</ScaleCrop>"
         "<HeadingPairs><vt:vector size=\"";
    x += titles > 0 ? "4" : "2";
    x += "\" baseType=\"variant\"><vt:variant><vt:lpstr>Worksheets</vt:lpstr></vt:variant><vt:variant><vt:i4>" +
         std::to_string(sheets.size()) + "</vt:i4></vt:variant>";
    if (titles > 0)
        x += "<vt:variant><vt:lpstr>Named Ranges</vt:lpstr></vt:variant><vt:variant><vt:i4>" +
             std::to_string(titles) + "</vt:i4></vt:variant>";
    x += "</vt:vector></HeadingPairs><TitlesOfParts><vt:vector size=\"" + std::to_string(sheets.size() + titles) +
         "\" baseType=\"lpstr\">";
    for (const WorkbookSheet& s : sheets) {
        x += "<vt:lpstr>";
        AppendXmlText(x, s.Name);
        x += "</vt:lpstr>";
    }
    for (const WorkbookSheet& s : sheets) {
        if (!s.PrintTitles) continue;
        x += "<vt:lpstr>";
        AppendXmlText(x, QuotedSheetName(s.Name) + "!Print_Titles");
        x += "</vt:lpstr>";
    }
    x += "</vt:vector></TitlesOfParts><Company></Company><LinksUpToDate>false</LinksUpToDate>"
         "<SharedDoc>false</SharedDoc><HyperlinksChanged>false</HyperlinksChanged><AppVersion>12.0000</AppVersion>"
         "</Properties>";
    return x;
}

std::string CorePropertiesXml(std::time_t created) {
    std::tm t{};
    gmtime_r(&created, &t);
    char when[32];
    std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", &t);
    std::string x = kXmlDeclaration;
    x += "<cp:coreProperties xmlns:cp=\"http://schemas.openxmlformats.org/package/2006/metadata/core-properties\" "
         "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" xmlns:dcterms=\"http://purl.org/dc/terms/\" "
         "xmlns:dcmitype=\"http://purl.org/dc/dcmitype/\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">"
         "<dc:creator></dc:creator><cp:lastModifiedBy></cp:lastModifiedBy>";
    x += "<dcterms:created xsi:type=\"dcterms:W3CDTF\">" + std::string(when) + "</dcterms:created>";
    x += "<dcterms:modified xsi:type=\"dcterms:W3CDTF\">" + std::string(when) + "</dcterms:modified>";
    return x + "</cp:coreProperties>";
}

std::string PackageRelationshipsXml() {
    std::string x = kXmlDeclaration;
    x += "<Relationships xmlns=\"" + std::string(kRelationshipsNs) + "\">";
    x += "<Relationship Id=\"rId1\" Type=\"" + std::string(kDocumentRelationship) +
         "/officeDocument\" Target=\"xl/workbook.xml\"/>";
    x += "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/package/2006/relationships/metadata/"
         "core-properties\" Target=\"docProps/core.xml\"/>";
    x += "<Relationship Id=\"rId3\" Type=\"" + std::string(kDocumentRelationship) +
         "/extended-properties\" Target=\"docProps/app.xml\"/>";
    return x + "</Relationships>";
}

std::string StylesXml() {
    // Number formats 164 onwards: the date-time, the values' 0 to 7
    // decimals, the duration and the share; each cell format below uses one.
    std::vector<std::string> formats = {"dd/mm/yyyy hh:mm:ss"};
    for (int d = 0; d <= 7; ++d) formats.push_back(ValueNumberFormat(d));
    formats.push_back("[h]:mm:ss");
    formats.push_back("0.0%");
    std::string x = kXmlDeclaration;
    x += "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><numFmts count=\"" +
         std::to_string(formats.size()) + "\">";
    for (std::size_t i = 0; i < formats.size(); ++i) {
        x += "<numFmt numFmtId=\"" + std::to_string(164 + i) + "\" formatCode=\"";
        AppendXmlText(x, formats[i], true);
        x += "\"/>";
    }
    const std::string face = "<name val=\"Calibri\"/><family val=\"2\"/><scheme val=\"minor\"/></font>";
    x += "</numFmts><fonts count=\"4\">"
         "<font><sz val=\"11\"/><color theme=\"1\"/>" + face +
         "<font><sz val=\"10\"/><color rgb=\"FF808080\"/>" + face +
         "<font><b/><sz val=\"20\"/><color rgb=\"FF0000FF\"/>" + face +
         "<font><b/><sz val=\"10\"/><color rgb=\"FF000080\"/>" + face +
         "</fonts><fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill><fill><patternFill "
         "patternType=\"gray125\"/></fill></fills><borders count=\"1\"><border><left/><right/><top/><bottom/>"
         "<diagonal/></border></borders><cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" "
         "borderId=\"0\"/></cellStyleXfs>";
    x += "<cellXfs count=\"" + std::to_string(4 + formats.size()) + "\">";
    x += "<xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>";
    for (int font = 1; font <= 3; ++font)  // kStyleGrey, kStyleTitle, kStyleHeading
        x += "<xf numFmtId=\"0\" fontId=\"" + std::to_string(font) +
             "\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyFont=\"1\"/>";
    for (std::size_t i = 0; i < formats.size(); ++i)  // kStyleDate onwards
        x += "<xf numFmtId=\"" + std::to_string(164 + i) +
             "\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyNumberFormat=\"1\"/>";
    x += "</cellXfs><cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles>"
         "<dxfs count=\"0\"/><tableStyles count=\"0\" defaultTableStyle=\"TableStyleMedium9\" "
         "defaultPivotStyle=\"PivotStyleLight16\"/></styleSheet>";
    return x;
}

std::string ThemeXml() {
    // The standard Office theme; the default font's colour refers to it.
    return R"xml(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<a:theme xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main" name="Office Theme"><a:themeElements><a:clrScheme name="Office"><a:dk1><a:sysClr val="windowText" lastClr="000000"/></a:dk1><a:lt1><a:sysClr val="window" lastClr="FFFFFF"/></a:lt1><a:dk2><a:srgbClr val="1F497D"/></a:dk2><a:lt2><a:srgbClr val="EEECE1"/></a:lt2><a:accent1><a:srgbClr val="4F81BD"/></a:accent1><a:accent2><a:srgbClr val="C0504D"/></a:accent2><a:accent3><a:srgbClr val="9BBB59"/></a:accent3><a:accent4><a:srgbClr val="8064A2"/></a:accent4><a:accent5><a:srgbClr val="4BACC6"/></a:accent5><a:accent6><a:srgbClr val="F79646"/></a:accent6><a:hlink><a:srgbClr val="0000FF"/></a:hlink><a:folHlink><a:srgbClr val="800080"/></a:folHlink></a:clrScheme><a:fontScheme name="Office"><a:majorFont><a:latin typeface="Cambria"/><a:ea typeface=""/><a:cs typeface=""/><a:font script="Jpan" typeface="ＭＳ Ｐゴシック"/><a:font script="Hang" typeface="맑은 고딕"/><a:font script="Hans" typeface="宋体"/><a:font script="Hant" typeface="新細明體"/><a:font script="Arab" typeface="Times New Roman"/><a:font script="Hebr" typeface="Times New Roman"/><a:font script="Thai" typeface="Tahoma"/><a:font script="Ethi" typeface="Nyala"/><a:font script="Beng" typeface="Vrinda"/><a:font script="Gujr" typeface="Shruti"/><a:font script="Khmr" typeface="MoolBoran"/><a:font script="Knda" typeface="Tunga"/><a:font script="Guru" typeface="Raavi"/><a:font script="Cans" typeface="Euphemia"/><a:font script="Cher" typeface="Plantagenet Cherokee"/><a:font script="Yiii" typeface="Microsoft Yi Baiti"/><a:font script="Tibt" typeface="Microsoft Himalaya"/><a:font script="Thaa" typeface="MV Boli"/><a:font script="Deva" typeface="Mangal"/><a:font script="Telu" typeface="Gautami"/><a:font script="Taml" typeface="Latha"/><a:font script="Syrc" typeface="Estrangelo Edessa"/><a:font script="Orya" typeface="Kalinga"/><a:font script="Mlym" typeface="Kartika"/><a:font script="Laoo" typeface="DokChampa"/><a:font script="Sinh" typeface="Iskoola Pota"/><a:font script="Mong" typeface="Mongolian Baiti"/><a:font script="Viet" typeface="Times New Roman"/><a:font script="Uigh" typeface="Microsoft Uighur"/></a:majorFont><a:minorFont><a:latin typeface="Calibri"/><a:ea typeface=""/><a:cs typeface=""/><a:font script="Jpan" typeface="ＭＳ Ｐゴシック"/><a:font script="Hang" typeface="맑은 고딕"/><a:font script="Hans" typeface="宋体"/><a:font script="Hant" typeface="新細明體"/><a:font script="Arab" typeface="Arial"/><a:font script="Hebr" typeface="Arial"/><a:font script="Thai" typeface="Tahoma"/><a:font script="Ethi" typeface="Nyala"/><a:font script="Beng" typeface="Vrinda"/><a:font script="Gujr" typeface="Shruti"/><a:font script="Khmr" typeface="DaunPenh"/><a:font script="Knda" typeface="Tunga"/><a:font script="Guru" typeface="Raavi"/><a:font script="Cans" typeface="Euphemia"/><a:font script="Cher" typeface="Plantagenet Cherokee"/><a:font script="Yiii" typeface="Microsoft Yi Baiti"/><a:font script="Tibt" typeface="Microsoft Himalaya"/><a:font script="Thaa" typeface="MV Boli"/><a:font script="Deva" typeface="Mangal"/><a:font script="Telu" typeface="Gautami"/><a:font script="Taml" typeface="Latha"/><a:font script="Syrc" typeface="Estrangelo Edessa"/><a:font script="Orya" typeface="Kalinga"/><a:font script="Mlym" typeface="Kartika"/><a:font script="Laoo" typeface="DokChampa"/><a:font script="Sinh" typeface="Iskoola Pota"/><a:font script="Mong" typeface="Mongolian Baiti"/><a:font script="Viet" typeface="Arial"/><a:font script="Uigh" typeface="Microsoft Uighur"/></a:minorFont></a:fontScheme><a:fmtScheme name="Office"><a:fillStyleLst><a:solidFill><a:schemeClr val="phClr"/></a:solidFill><a:gradFill rotWithShape="1"><a:gsLst><a:gs pos="0"><a:schemeClr val="phClr"><a:tint val="50000"/><a:satMod val="300000"/></a:schemeClr></a:gs><a:gs pos="35000"><a:schemeClr val="phClr"><a:tint val="37000"/><a:satMod val="300000"/></a:schemeClr></a:gs><a:gs pos="100000"><a:schemeClr val="phClr"><a:tint val="15000"/><a:satMod val="350000"/></a:schemeClr></a:gs></a:gsLst><a:lin ang="16200000" scaled="1"/></a:gradFill><a:gradFill rotWithShape="1"><a:gsLst><a:gs pos="0"><a:schemeClr val="phClr"><a:shade val="51000"/><a:satMod val="130000"/></a:schemeClr></a:gs><a:gs pos="80000"><a:schemeClr val="phClr"><a:shade val="93000"/><a:satMod val="130000"/></a:schemeClr></a:gs><a:gs pos="100000"><a:schemeClr val="phClr"><a:shade val="94000"/><a:satMod val="135000"/></a:schemeClr></a:gs></a:gsLst><a:lin ang="16200000" scaled="0"/></a:gradFill></a:fillStyleLst><a:lnStyleLst><a:ln w="9525" cap="flat" cmpd="sng" algn="ctr"><a:solidFill><a:schemeClr val="phClr"><a:shade val="95000"/><a:satMod val="105000"/></a:schemeClr></a:solidFill><a:prstDash val="solid"/></a:ln><a:ln w="25400" cap="flat" cmpd="sng" algn="ctr"><a:solidFill><a:schemeClr val="phClr"/></a:solidFill><a:prstDash val="solid"/></a:ln><a:ln w="38100" cap="flat" cmpd="sng" algn="ctr"><a:solidFill><a:schemeClr val="phClr"/></a:solidFill><a:prstDash val="solid"/></a:ln></a:lnStyleLst><a:effectStyleLst><a:effectStyle><a:effectLst><a:outerShdw blurRad="40000" dist="20000" dir="5400000" rotWithShape="0"><a:srgbClr val="000000"><a:alpha val="38000"/></a:srgbClr></a:outerShdw></a:effectLst></a:effectStyle><a:effectStyle><a:effectLst><a:outerShdw blurRad="40000" dist="23000" dir="5400000" rotWithShape="0"><a:srgbClr val="000000"><a:alpha val="35000"/></a:srgbClr></a:outerShdw></a:effectLst></a:effectStyle><a:effectStyle><a:effectLst><a:outerShdw blurRad="40000" dist="23000" dir="5400000" rotWithShape="0"><a:srgbClr val="000000"><a:alpha val="35000"/></a:srgbClr></a:outerShdw></a:effectLst><a:scene3d><a:camera prst="orthographicFront"><a:rot lat="0" lon="0" rev="0"/></a:camera><a:lightRig rig="threePt" dir="t"><a:rot lat="0" lon="0" rev="1200000"/></a:lightRig></a:scene3d><a:sp3d><a:bevelT w="63500" h="25400"/></a:sp3d></a:effectStyle></a:effectStyleLst><a:bgFillStyleLst><a:solidFill><a:schemeClr val="phClr"/></a:solidFill><a:gradFill rotWithShape="1"><a:gsLst><a:gs pos="0"><a:schemeClr val="phClr"><a:tint val="40000"/><a:satMod val="350000"/></a:schemeClr></a:gs><a:gs pos="40000"><a:schemeClr val="phClr"><a:tint val="45000"/><a:shade val="99000"/><a:satMod val="350000"/></a:schemeClr></a:gs><a:gs pos="100000"><a:schemeClr val="phClr"><a:shade val="20000"/><a:satMod val="255000"/></a:schemeClr></a:gs></a:gsLst><a:path path="circle"><a:fillToRect l="50000" t="-80000" r="50000" b="180000"/></a:path></a:gradFill><a:gradFill rotWithShape="1"><a:gsLst><a:gs pos="0"><a:schemeClr val="phClr"><a:tint val="80000"/><a:satMod val="300000"/></a:schemeClr></a:gs><a:gs pos="100000"><a:schemeClr val="phClr"><a:shade val="30000"/><a:satMod val="200000"/></a:schemeClr></a:gs></a:gsLst><a:path path="circle"><a:fillToRect l="50000" t="50000" r="50000" b="50000"/></a:path></a:gradFill></a:bgFillStyleLst></a:fmtScheme></a:themeElements><a:objectDefaults/><a:extraClrSchemeLst/></a:theme>
)xml";
}

}  // namespace kolvex
