// The page scanner and the rewriting of IE's event handler syntaxes: what
// pagehost makes of the pages people write.
#include <gtest/gtest.h>

#include "tools/pagehost/event_handlers.h"
#include "tools/pagehost/page.h"

namespace pagehost {
namespace {

TEST(PageParser, ReadsObjectsWithParamsAndScriptsInOrder) {
    const Page page = ParsePage(
        "<html><head><TITLE>Reader</TITLE></head>\n"
        "<BODY onload=\"start()\">\n"
        "<!-- <object id=\"old\" classid=\"clsid:00000000-0000-0000-0000-000000000000\"></object> -->\n"
        "<OBJECT ID=reader CLASSID=\"clsid:{CB1C5DCB-4EF9-4010-9781-2C8DBE9A8392}\" width=\"120\" height='30'>\n"
        "  <param name=\"_Version\" value=\"65536\">\n"
        "  <PARAM NAME='Label' VALUE=\"a &amp; b &#x41;&lt;\"/>\n"
        "</OBJECT>\n"
        "<script src=\"lib.js\"></script>\n"
        "<script language=\"JScript\">\nvar a = '</div>';\n</script>\n"
        "</body></html>");
    EXPECT_EQ(page.title, "Reader");
    EXPECT_EQ(page.onload, "start()");
    EXPECT_EQ(page.onloadLine, 2);
    ASSERT_EQ(page.objects.size(), 1u);  // the commented-out one is no object
    const PageObject& reader = page.objects[0];
    EXPECT_EQ(reader.id, "reader");
    EXPECT_EQ(reader.classId, "CB1C5DCB-4EF9-4010-9781-2C8DBE9A8392");
    EXPECT_EQ(reader.width, 120);
    EXPECT_EQ(reader.height, 30);
    ASSERT_EQ(reader.params.size(), 2u);
    EXPECT_EQ(reader.params[0], (std::pair<std::string, std::string>{"_Version", "65536"}));
    EXPECT_EQ(reader.params[1], (std::pair<std::string, std::string>{"Label", "a & b A<"}));
    ASSERT_EQ(page.scripts.size(), 2u);
    EXPECT_EQ(page.scripts[0].source, "lib.js");
    EXPECT_EQ(page.scripts[1].text, "\nvar a = '</div>';\n");
    EXPECT_EQ(page.scripts[1].line, 9);  // where its text begins, for error lines
}

TEST(PageParser, ScriptForEventAndUnterminatedPagesDoNotLoseText) {
    const Page page = ParsePage(
        "<script for=\"reader\" event=\"DevCallAsyncBack(data)\">done(data);</script>"
        "<script>var tail = 1;");
    ASSERT_EQ(page.scripts.size(), 2u);
    EXPECT_EQ(page.scripts[0].forId, "reader");
    EXPECT_EQ(page.scripts[0].event, "DevCallAsyncBack(data)");
    EXPECT_EQ(page.scripts[0].text, "done(data);");
    EXPECT_EQ(page.scripts[1].text, "var tail = 1;");
}

TEST(PageParser, EntitiesOutsideAsciiOrUnknownStayAsWritten) {
    EXPECT_EQ(DecodeEntities("&amp;&quot;&apos;&#65;&#x42;"), "&\"'AB");
    EXPECT_EQ(DecodeEntities("&nbsp;&#300;&#xZZ; & ;"), "&nbsp;&#300;&#xZZ; & ;");
}

TEST(EventHandlers, ScopedFunctionsBecomePlainFunctionsOnTheSameLines) {
    const RewrittenScript script = RewriteScopedHandlers(
        "var s = \"function a::B(\"; // function c::D(\n"
        "/* function e::F( */ function reader :: DevCallAsyncBack (data) {\n"
        "  show(data);\n}\n"
        "function plain() {} myfunction x::Y() {}");
    ASSERT_EQ(script.bindings.size(), 1u);
    EXPECT_EQ(script.bindings[0].objectId, "reader");
    EXPECT_EQ(script.bindings[0].event, "DevCallAsyncBack");
    EXPECT_EQ(script.bindings[0].function, HandlerName("reader", "DevCallAsyncBack"));
    EXPECT_EQ(script.text,
              "var s = \"function a::B(\"; // function c::D(\n"
              "/* function e::F( */ function " +
                  HandlerName("reader", "DevCallAsyncBack") +
                  " (data) {\n"
                  "  show(data);\n}\n"
                  "function plain() {} myfunction x::Y() {}");
}

TEST(EventHandlers, ScriptForEventWrapsTheBodyWithoutAddingLinesBeforeIt) {
    const RewrittenScript handler = HandlerFromForEvent("reader", " DevCallAsyncBack( data ) ", "\nshow(data);\n");
    ASSERT_EQ(handler.bindings.size(), 1u);
    EXPECT_EQ(handler.bindings[0].event, "DevCallAsyncBack");
    EXPECT_EQ(handler.text, "function " + HandlerName("reader", "DevCallAsyncBack") + "( data ) {\nshow(data);\n\n}");
    EXPECT_EQ(HandlerFromForEvent("reader", "Click", "x();").bindings.size(), 1u);
    for (const char* wrong : {"", "(data)", "Name(data", "Name(data) extra", "Name data"})
        EXPECT_TRUE(HandlerFromForEvent("reader", wrong, "x();").bindings.empty()) << wrong;
    EXPECT_TRUE(HandlerFromForEvent("", "Click", "x();").bindings.empty());
}

}  // namespace
}  // namespace pagehost
