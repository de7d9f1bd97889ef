#include "tools/tablora-cli/ConsoleUiServices.h"

#include "platform/rtl/Error.h"
#include "platform/rtl/Messages.h"

#include <iostream>

namespace cli {

std::string ConsoleText(const std::string& text) {
    std::string r;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            r += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            r += text[i];
        }
    }
    return r;
}

namespace {

const char* IconName(ui::TMsgIcon icon) {
    switch (icon) {
    case ui::TMsgIcon::Error: return "error";
    case ui::TMsgIcon::Warning: return "warning";
    case ui::TMsgIcon::Information: break;
    }
    return "information";
}

} // namespace

ui::TMsgAnswer TConsoleUiServices::ShowMessage(const ui::TMessageRequest& request) {
    TShown shown{request.caption, request.text, IconName(request.icon), ""};
    if (request.icon == ui::TMsgIcon::Error) ++errors_;
    std::cerr << request.caption << ": " << ConsoleText(request.text) << '\n';
    ui::TMsgAnswer answer = ui::TMsgAnswer::Ok;
    if (request.buttons == ui::TMsgButtons::YesNo) {
        if (preset_) {
            answer = *preset_ ? ui::TMsgAnswer::Yes : ui::TMsgAnswer::No;
        } else if (interactive_) {
            std::string line;
            for (;;) {
                std::cerr << "[a/n] (ano/nie, yes/no): " << std::flush;
                if (!std::getline(std::cin, line)) throw rtl::EError(rtl::Text(rtl::TMsg::CliNoAnswer));
                if (line == "a" || line == "y" || line == "ano" || line == "yes") { answer = ui::TMsgAnswer::Yes; break; }
                if (line == "n" || line == "nie" || line == "no") { answer = ui::TMsgAnswer::No; break; }
            }
        } else {
            throw rtl::EError(rtl::Text(rtl::TMsg::CliQuestionNeedsAnswer));
        }
        // The answer as a word for scripts (JSON), shown in the reader's language.
        shown.answer = answer == ui::TMsgAnswer::Yes ? "yes" : "no";
        std::cerr << "  -> " << rtl::Text(answer == ui::TMsgAnswer::Yes ? rtl::TMsg::CliAnswerYes : rtl::TMsg::CliAnswerNo)
                  << '\n';
    }
    shown_.push_back(std::move(shown));
    return answer;
}

} // namespace cli
