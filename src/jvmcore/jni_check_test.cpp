// Checked JNI calls and the definition of embedded classes, in a JVM of
// this process made as the engine makes it.
#include <gtest/gtest.h>

#include <string>

#include "embedded_classes.h"
#include "java_vm.h"
#include "jni_check.h"

namespace {

class JniCheck : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    JavaVM* vm = startJavaVm();
    ASSERT_NE(vm, nullptr);
    ASSERT_EQ(JNI_OK, vm->AttachCurrentThread(reinterpret_cast<void**>(&env_), nullptr));
  }

  void TearDown() override { EXPECT_FALSE(env_->ExceptionCheck()) << "exception left pending"; }

  static JNIEnv* env_;
};
JNIEnv* JniCheck::env_ = nullptr;

TEST_F(JniCheck, PendingExceptionEndsTheStepWithItsText) {
  std::string why;
  jclass missing = env_->FindClass("no/such/Thing");
  EXPECT_FALSE(checked(env_, missing, "finding no.such.Thing", &why));
  EXPECT_EQ(0u, why.rfind("finding no.such.Thing: java.lang.NoClassDefFoundError: no/such/Thing", 0))
      << why;
}

TEST_F(JniCheck, MissingResultWithoutExceptionEndsTheStep) {
  std::string why;
  EXPECT_FALSE(checked(env_, nullptr, "getting something", &why));
  EXPECT_EQ("getting something: no result", why);
}

TEST_F(JniCheck, CallWithoutResultPassesUntilAnExceptionIsPending) {
  std::string why = "untouched";
  EXPECT_TRUE(checked(env_, "a quiet call", &why));
  EXPECT_EQ("untouched", why);

  jclass string = env_->FindClass("java/lang/String");
  ASSERT_TRUE(checked(env_, string, "finding java.lang.String", &why));
  jobjectArray array = env_->NewObjectArray(1, string, nullptr);
  ASSERT_TRUE(checked(env_, array, "making an array", &why));
  env_->SetObjectArrayElement(array, 5, nullptr);  // out of bounds
  EXPECT_FALSE(checked(env_, "storing past the end", &why));
  EXPECT_NE(std::string::npos, why.find("storing past the end: java.lang.ArrayIndexOutOfBounds"))
      << why;
  env_->DeleteLocalRef(array);
  env_->DeleteLocalRef(string);
}

TEST_F(JniCheck, NoExceptionIsDescribedAsSuch) {
  EXPECT_EQ("no Java exception", takeJavaException(env_));
}

TEST_F(JniCheck, EmbeddedClassesThatCannotBeDefinedSayWhich) {
  static const unsigned char kNotAClass[] = {0xCA, 0xFE, 0xBA, 0xBE, 0x00};
  const EmbeddedClass table[] = {{"NotAClass", kNotAClass, sizeof kNotAClass}};
  std::string why;
  EXPECT_FALSE(defineEmbeddedClasses(env_, table, &why));
  EXPECT_EQ(0u, why.rfind("defining class NotAClass: java.lang.ClassFormatError", 0)) << why;
  EXPECT_TRUE(defineEmbeddedClasses(env_, {}, &why)) << why;
}

}  // namespace
