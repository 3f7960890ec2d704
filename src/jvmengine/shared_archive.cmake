# Writes the class-data archive ARCHIVE: the classes that one transform run
# loads (Saxon's, Xerces', the JDK's beyond its own base archive), parsed,
# verified and laid out so that a JVM maps them instead of loading them.
#
# The training run is Saxon's own command line on DOCUMENT and STYLESHEET,
# with the class path the library uses (CLASS_PATH); the JVM writes the
# archive when it exits. The archive goes to a temporary name first, so an
# interrupted or failed run leaves no partial archive under ARCHIVE's name.
#
# The archive only speeds start-up up: when the training run fails, this
# warns, removes any old archive and succeeds, and the library runs without.
# STAMP is touched in every case, so the build does not retry on each call.
#
# Variables: JAVA, CLASS_PATH, DOCUMENT, STYLESHEET, ARCHIVE, WORK_DIR, STAMP.
set(partial "${ARCHIVE}.partial")
file(REMOVE "${partial}" "${ARCHIVE}")
file(MAKE_DIRECTORY "${WORK_DIR}")
execute_process(
  COMMAND "${JAVA}" -Xshare:auto "-XX:ArchiveClassesAtExit=${partial}"
          -XX:+UseParallelGC -XX:TieredStopAtLevel=1 -XX:-UsePerfData
          -cp "${CLASS_PATH}" net.sf.saxon.Transform
          "-s:${DOCUMENT}" "-xsl:${STYLESHEET}" "-o:${WORK_DIR}/report.xml"
  WORKING_DIRECTORY "${WORK_DIR}"
  RESULT_VARIABLE status
  OUTPUT_VARIABLE output
  ERROR_VARIABLE output)
if(status EQUAL 0 AND EXISTS "${partial}")
  file(RENAME "${partial}" "${ARCHIVE}")
else()
  file(REMOVE "${partial}")
  message(WARNING "jvmengine: no class-data archive (training run exited with ${status}); "
                  "the engine library starts without it.\n${output}")
endif()
file(TOUCH "${STAMP}")
