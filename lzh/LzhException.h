// The codec's own error; the codec object turns it into a false result.
#pragma once

#include "base/Exception.h"

namespace lzh {

using se::Exception;
SE_EXCEPTION_CLASS(ElzhException, Exception);

}  // namespace lzh
