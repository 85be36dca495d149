# osslsigncode verify, trusting only the throwaway certificate: the signed installer passes with
# a SHA-256 signature, the unsigned one is refused for having none.
execute_process(COMMAND ${OSSLSIGNCODE} verify -CAfile ${CERTIFICATE} -in ${SIGNED}
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0 OR NOT output MATCHES "Signature verification: ok"
   OR NOT output MATCHES "Message digest algorithm *: SHA256")
  message(FATAL_ERROR "${SIGNED} does not verify (status ${status}):\n${output}")
endif()
execute_process(COMMAND ${OSSLSIGNCODE} verify -CAfile ${CERTIFICATE} -in ${UNSIGNED}
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(status EQUAL 0 OR NOT output MATCHES "No signature found")
  message(FATAL_ERROR "${UNSIGNED} is not refused as unsigned (status ${status}):\n${output}")
endif()
