// Column sets of the tables Outlook writes in a new store and in its messages.
#pragma once

#include <vector>

#include "pst/ltp/property.h"

namespace pst::messaging::columns {

std::vector<PropTag> hierarchyTemplate();        // every plain folder's hierarchy table
std::vector<PropTag> ipmSubtreeHierarchy();      // "Top of Outlook data file"
std::vector<PropTag> searchRootHierarchy();      // "Search Root"
std::vector<PropTag> contentsTemplate();         // every mail folder's contents table
std::vector<PropTag> ipmSubtreeContents();       // "Top of Outlook data file", with named columns
std::vector<PropTag> assocContentsTemplate();    // associated (hidden) contents
std::vector<PropTag> rootAssocContents();        // the root folder's associated contents
std::vector<PropTag> commonViewsAssocContents();  // IPM_COMMON_VIEWS' associated contents
std::vector<PropTag> searchContentsTemplate();
std::vector<PropTag> recipientTemplate();
std::vector<PropTag> attachmentTemplate();
std::vector<PropTag> messageAttachments();  // the wider set Outlook uses in a message
std::vector<PropTag> receiveFolderTable();
std::vector<PropTag> outgoingQueueTable();
std::vector<PropTag> replicationTable16();  // the three undocumented tables of node types 0x16..0x18
std::vector<PropTag> replicationTable17();
std::vector<PropTag> replicationTable18();

}  // namespace pst::messaging::columns
