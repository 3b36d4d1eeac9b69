// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/AuditCommand.h"

#include <unistd.h>

#include <iostream>

#include <nlohmann/json.hpp>

#include "base/AuditTrail.h"
#include "base/Language.h"

namespace kolvex::cli {

using nlohmann::json;

int RunAudit(const Options& o, const std::vector<std::string>& args) {
    bool verify = false, asJson = o.Json;
    std::optional<std::int64_t> from, to;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--verify") verify = true;
        else if (a == "--json") asJson = true;
        else if ((a == "--from" || a == "--to") && i + 1 < args.size()) {
            const auto t = ParseAuditTime(args[++i], a == "--to");
            if (!t) throw UsageError(a + " needs \"YYYY-MM-DD\", \"YYYY-MM-DD hh:mm\" or \"YYYY-MM-DD hh:mm:ss\"");
            (a == "--from" ? from : to) = t;
        } else {
            throw UsageError("audit takes --from T, --to T, --json or --verify");
        }
    }
    if (verify && (from || to)) throw UsageError("audit --verify checks the whole trail; --from and --to do not apply");
    std::string folder = AuditFolder();
    if (folder.empty()) folder = AbsolutePath(".");
    const std::string path = AuditFilePath(folder);
    const Lang lang = CurrentLanguage();

    if (verify) {
        const AuditVerification v = VerifyAuditTrail(path);
        if (asJson) {
            json problems = json::array();
            for (const auto& p : v.Problems) {
                json j = {{"problem", p.Text}};
                j["line"] = p.Line ? json(p.Line) : json(nullptr);
                j["table"] = p.Path.empty() ? json(nullptr) : json(p.Path);
                problems.push_back(j);
            }
            std::cout << json{{"trail", path}, {"ok", v.Ok()}, {"entries", v.Entries}, {"tables", v.Tables},
                              {"problems", problems}}
                             .dump()
                      << std::endl;
        } else {
            for (const auto& p : v.Problems) std::cout << (p.Path.empty() ? "" : p.Path + ": ") << p.Text << "\n";
            std::cout << AuditVerificationText(v, lang) << "  (" << path << ")\n";
        }
        return v.Ok() ? 0 : 1;
    }

    const std::vector<AuditLine> lines = ReadAuditTrail(path);
    json entries = json::array();
    for (const AuditLine& l : lines) {
        if (!l.Valid) {
            if (!asJson) std::cout << Tr("řádek ", "line ") << l.Number << Tr(": neplatný záznam", ": not a valid entry") << "\n";
            continue;
        }
        const auto t = AuditEntryTime(l.Entry);
        if ((from || to) && !t) continue;
        if (from && *t < *from) continue;
        if (to && *t > *to) continue;
        if (asJson) {
            entries.push_back(l.Entry);
            continue;
        }
        const json& e = l.Entry;
        std::string local = e.value("local", std::string());
        if (local.size() > 10 && local[10] == 'T') local[10] = ' ';
        std::cout << local << "  " << e.value("user", std::string()) << "@" << e.value("host", std::string()) << "  "
                  << e.value("program", std::string()) << "  " << AuditActionText(e.value("action", std::string()), lang)
                  << "  " << AuditObjectText(e, lang) << "\n";
        const std::string details = AuditDetailsText(e);
        if (!details.empty()) std::cout << "    " << details << "\n";
    }
    if (asJson) std::cout << json{{"trail", path}, {"entries", entries}}.dump() << std::endl;
    return 0;
}

}  // namespace kolvex::cli
