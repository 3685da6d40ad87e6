#include "tagmanager/runtime/ZAVMacroInfo.h"

void ZAVAddRemoveMacrosPopulator::rulePassed(const ZAVExpandedRulePtr& rule, ZAVCallSet& add,
                                             ZAVCallSet& remove) {
    if (auto found = addMacros_.find(rule); found != addMacros_.end())
        add.insert(found->second.begin(), found->second.end());
    if (auto found = removeMacros_.find(rule); found != removeMacros_.end())
        remove.insert(found->second.begin(), found->second.end());
}

void ZAVAddRemoveTagsPopulator::rulePassed(const ZAVExpandedRulePtr& rule, ZAVCallSet& add,
                                           ZAVCallSet& remove) {
    add.insert(rule->addTags().begin(), rule->addTags().end());
    remove.insert(rule->removeTags().begin(), rule->removeTags().end());
}
