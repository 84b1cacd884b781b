#include <gtest/gtest.h>

#include <string>

#include "diagnostics/SymbolName.h"

using Norik::DemangleSymbol;

namespace {

std::string Demangle(const std::string& symbol, std::size_t capacity = 1024) {
    std::string out(capacity, '\x7f');
    const std::size_t length = DemangleSymbol(symbol.c_str(), out.data(), capacity);
    EXPECT_EQ(out[length], '\0');
    return out.substr(0, length);
}

TEST(DemangleSymbol, CommonFormsGiveTheQualifiedNameWithoutParameters) {
    const struct {
        const char* mangled;
        const char* expected;
    } cases[] = {
        {"_ZN8ShowData8CShowDoc4InitEv", "ShowData::CShowDoc::Init"},
        {"_ZNK5Norik8ErrorLog6isOpenEv", "Norik::ErrorLog::isOpen"},
        {"_Z3fooi", "foo"},
        {"_ZSt9terminatev", "std::terminate"},
        // Substitutions: S_ is the first prefix seen, S0_ the next; template arguments close "> >".
        {"_ZNSt6vectorIiSaIiEE9push_backERKi", "std::vector<int, std::allocator<int> >::push_back"},
        {"_ZNSt10unique_ptrIN5Norik3FooESt14default_deleteIS1_EED2Ev",
         "std::unique_ptr<Norik::Foo, std::default_delete<Norik::Foo> >::~unique_ptr"},
        {"_ZNSsC1EPKcRKSaIcE", "std::string::basic_string"},
        {"_ZN5Norik12_GLOBAL__N_15Child4MoveEv", "Norik::(anonymous namespace)::Child::Move"},
        {"_ZN5NorikltERKNS_3KeyES2_", "Norik::operator<"},
        {"_ZN3FooIiEcvbEv", "Foo<int>::operator bool"},
        {"_ZN1AIiLb1ELj7ELin3EE1fEv", "A<int, true, 7u, -3>::f"},
        {"_ZNSt8functionIFbPKvPvEEC2Ev", "std::function<bool (void const*, void*)>::function"},
        // A lambda: the enclosing function with its parameters, and the call operator.
        {"_ZZN5Norik3RunEiENKUlvE_clEv", "Norik::Run(int)::{lambda()#1}::operator()"},
        {"_ZZN5Norik3RunEiENKUlRKiE0_clES1_", "Norik::Run(int)::{lambda(int const&)#2}::operator()"},
        // T_ inside an enclosing function template is that template's argument.
        {"_ZZN5Norik4SortIiEEvRT_ENKUlRiE_clES3_", "Norik::Sort<int>(int&)::{lambda(int&)#1}::operator()"},
        {"_ZThn16_N5Norik4View5paintEv", "non-virtual thunk to Norik::View::paint"},
        {"_ZTV7QObject", "vtable for QObject"},
        {"_ZN5Norik5Apply4TextB5cxx11Ev.isra.0.cold", "Norik::Apply::Text[abi:cxx11] [clone .isra.0] [clone .cold]"},
    };
    for (const auto& c : cases) EXPECT_EQ(Demangle(c.mangled), c.expected) << c.mangled;
}

TEST(DemangleSymbol, UnknownOrBrokenNamesComeBackAsGiven) {
    const char* raw[] = {
        "main",
        "_ZN5Norik3Foo",        // no closing E
        "_ZN5NorikS0_E",        // a substitution that was never defined
        "_Z1fIXadL_Z1gvEEEvv",  // an expression argument
        "_ZN1AIM1BFivEE1fEv",   // a member pointer
        "_Z999999999999abc",    // a length past the end
    };
    for (const char* symbol : raw) EXPECT_EQ(Demangle(symbol), symbol);
    const std::string deep = "_Z" + std::string(3000, 'P') + "i";
    EXPECT_EQ(Demangle(deep, 4000), deep);
    EXPECT_EQ(Demangle("_ZN5Norik8ErrorLog6isOpenEv", 10), "Norik::Er");
    EXPECT_EQ(Demangle(std::string(300, 'x'), 169), std::string(168, 'x'));
}

}  // namespace
