#pragma once

// The whole public interface of the library.

#include <qmsupport/export.h>
#include <qmsupport/version.h>

#include <qmsupport/toolsapi/basic_string.h>
#include <qmsupport/toolsapi/codecs.h>
#include <qmsupport/toolsapi/date_time.h>
#include <qmsupport/toolsapi/http_response.h>
#include <qmsupport/toolsapi/identifiers.h>
#include <qmsupport/toolsapi/locale_info.h>

#include <qmsupport/platform/app_path.h>
#include <qmsupport/platform/display_metrics.h>
#include <qmsupport/platform/file_find.h>
#include <qmsupport/platform/file_ops.h>
#include <qmsupport/platform/native_path.h>
#include <qmsupport/platform/paths.h>

#include <qmsupport/xml/xml_document.h>

#include <qmsupport/store/registry.h>
#include <qmsupport/store/resource_chain.h>
#include <qmsupport/store/resources.h>
#include <qmsupport/store/time_zone.h>

#include <qmsupport/setup/drivers_catalogue.h>
#include <qmsupport/setup/tarvio_guids.h>
#include <qmsupport/setup/tarvio_setup.h>

#include <qmsupport/migrate27/transform_cfg_to27.h>
#include <qmsupport/migrate27/transform_observer.h>

#include <qmsupport/legacy/alarm_history_reader.h>
#include <qmsupport/legacy/event_history.h>
#include <qmsupport/legacy/history_file_reader.h>
#include <qmsupport/legacy/legacy_conversion_observer.h>
#include <qmsupport/legacy/style_record.h>
#include <qmsupport/legacy/transform_alarm_cfg_to_event_xml.h>
#include <qmsupport/legacy/transform_cfg_to25.h>
#include <qmsupport/legacy/transform_scada_cfg_to_xml.h>
#include <qmsupport/legacy/transform_scada_report_to25.h>
#include <qmsupport/legacy/transform_style_to25.h>

#include <qmsupport/values/value.h>
#include <qmsupport/values/value_complex.h>

#include <qmsupport/text/check_dialog_size.h>
#include <qmsupport/text/config_identifiers.h>
#include <qmsupport/text/file_name.h>
#include <qmsupport/text/parse_date_time.h>
#include <qmsupport/text/parse_xml_text.h>
#include <qmsupport/text/send_xml_text.h>
#include <qmsupport/text/sort_support.h>
#include <qmsupport/text/var_name.h>

#include <qmsupport/images/bitmap.h>
#include <qmsupport/images/cx_file.h>
#include <qmsupport/images/cx_image.h>
#include <qmsupport/images/flood_fill.h>
#include <qmsupport/images/image_xml.h>
#include <qmsupport/images/raster.h>
