#pragma once
// The notice of the OpenSSL toolkit the program links, shown by the about dialog's Disclaimer
// button.

namespace corvanthelix {

inline constexpr const char* kOpenSslNotice =
    "Copyright The OpenSSL Project Authors. All Rights Reserved.\n"
    "\n"
    "Licensed under the Apache License 2.0 (the \"License\"). You may not use this file except in\n"
    "compliance with the License. You can obtain a copy in the file LICENSE in the source\n"
    "distribution or at https://www.openssl.org/source/license.html\n"
    "\n"
    "Unless required by applicable law or agreed to in writing, software distributed under the\n"
    "License is distributed on an \"AS IS\" BASIS, WITHOUT WARRANTIES OR CONDITIONS OF ANY KIND,\n"
    "either express or implied. See the License for the specific language governing permissions\n"
    "and limitations under the License.\n";

} // namespace corvanthelix
