#include "reporting/Plinth/PLNEnvironment.h"
#include "reporting/Plinth/PLNServiceRequest.h"

#include <gtest/gtest.h>

using namespace pln;

namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;

class ServiceRequestTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        PLNEnvironment environment;
        environment.localeIdentifier = "de_CH";
        PLNSetEnvironment(environment);
    }
    void TearDown() override { PLNSetEnvironment(PLNEnvironment{}); }
};

}  // namespace

// The session writes the fields in this order, so the order is the wire's.
TEST_F(ServiceRequestTest, ServiceHeadersInWireOrderWithTheOptionalFieldsWhereTheyBelong)
{
    const auto plain = PLNServiceRequest("https://service.test/a", PLNHostKitIdentity(), {.timeout = 2, .APIKey = "KEY"});
    EXPECT_EQ(plain.url, "https://service.test/a");
    EXPECT_EQ(plain.httpMethod, "GET");
    EXPECT_EQ(plain.timeoutInterval, 2);
    EXPECT_TRUE(plain.ignoresLocalCache);
    EXPECT_EQ(plain.headers.fields(), (Fields{{"User-Agent", "io.plinth.sdk.mac/1.2.4 (15)"},
                                              {"Accept-Charset", "utf-8"},
                                              {"Accept-Language", "de_CH"},
                                              {"Content-Language", "de_CH"},
                                              {"X-Brisca-Developer-Token", "5d0c3f9a8e7b61d24a0f93c5b7e18d6a2c4f0b91"},
                                              {"X-Brisca-API-Client-Id", "io.plinth.sdk.mac"},
                                              {"X-Brisca-API-Client-Display-Version", "1.2.4"},
                                              {"X-Brisca-API-Client-Build-Version", "15"},
                                              {"X-Brisca-API-Key", "KEY"}}));

    // The crash kit asks for JSON right after naming itself; without a key it sends none.
    const auto json = PLNServiceRequest("https://service.test/b", PLNCrashKitIdentity(), {.method = "POST", .acceptsJSON = true});
    EXPECT_EQ(json.httpMethod, "POST");
    EXPECT_EQ(json.timeoutInterval, 10);
    EXPECT_EQ(json.headers.fields(), (Fields{{"User-Agent", "Brisca Mac SDK/3.0.8"},
                                             {"Accept", "application/json"},
                                             {"Accept-Charset", "utf-8"},
                                             {"Accept-Language", "de_CH"},
                                             {"Content-Language", "de_CH"},
                                             {"X-Brisca-Developer-Token", "e3b97a0c52d14f86a9c07b3e1d5f28c46a0b9e71"},
                                             {"X-Brisca-API-Client-Id", "com.plinth.brisca.mac"},
                                             {"X-Brisca-API-Client-Display-Version", "3.0.8"},
                                             {"X-Brisca-API-Client-Build-Version", "50"}}));
}

TEST_F(ServiceRequestTest, UsageEventHeadersAreUpperCaseWithTheClientTypeAndNoLanguages)
{
    const auto request = PLNServiceRequest("https://events.test/e", PLNCrashKitIdentity(),
                                           {.method = "POST", .timeout = 20, .headerSet = PLNHeaderSet::UsageEvents, .APIKey = "KEY"});
    EXPECT_EQ(request.timeoutInterval, 20);
    EXPECT_EQ(request.headers.fields(), (Fields{{"User-Agent", "Brisca Mac SDK/3.0.8"},
                                                {"X-BRISCA-DEVELOPER-TOKEN", "e3b97a0c52d14f86a9c07b3e1d5f28c46a0b9e71"},
                                                {"X-BRISCA-API-CLIENT-TYPE", "Brisca Mac SDK"},
                                                {"X-BRISCA-API-CLIENT-VERSION", "50"},
                                                {"X-BRISCA-API-CLIENT-DISPLAY-VERSION", "3.0.8"},
                                                {"X-BRISCA-API-CLIENT-BUILD-VERSION", "50"},
                                                {"X-BRISCA-API-KEY", "KEY"}}));
    const auto keyless = PLNServiceRequest("https://events.test/e", PLNCrashKitIdentity(), {.headerSet = PLNHeaderSet::UsageEvents});
    EXPECT_FALSE(keyless.valueForHTTPHeaderField("X-BRISCA-API-KEY"));
    EXPECT_EQ(keyless.headers.fields().size(), 6u);
}
