#pragma once
// The receiver's texts: the German pages the browser gets back. Everything that came from a post is
// converted to UTF-8 and HTML-escaped before it goes into a page.

#include <string>
#include <string_view>
#include <vector>

namespace vantrel::formmail {

std::string escapeHtml(std::string_view utf8);

std::string successPage();
// missingUtf8: the names of the required fields that were left empty, already UTF-8.
std::string missingFieldsPage(const std::vector<std::string>& missingUtf8);
std::string recipientRefusedPage();
std::string tooLargePage();
std::string tooManyPostsPage();
std::string methodNotAllowedPage();
std::string unsupportedFormatPage();
std::string incompletePostPage();
std::string surveyRefusedPage();
std::string spooledPage();
std::string notStoredPage();
std::string mailRefusedPage();
std::string notConfiguredPage();
std::string notFoundPage();
// The plain text beside a redirect to `location`, for a browser that does not follow it.
std::string redirectText(std::string_view location);

}  // namespace vantrel::formmail
